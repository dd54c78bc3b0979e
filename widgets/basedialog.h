#pragma once

#include <QDialog>

// A top-level window of the program's own look: frameless, dark, with its title bar
// drawn by the subclass. Escape does not close it; only the subclass's own close
// button does, so that closing can be confirmed.
class BaseDialog : public QDialog
{
    Q_OBJECT

public:
    explicit BaseDialog(QWidget* parent = nullptr, Qt::WindowFlags flags = {});

protected:
    void keyPressEvent(QKeyEvent* event) override;
};
