#include "common/facefeatureimportandexport.h"
#include "ui/dialogs/n12_messagebox.h"
#include "ui/mainwindow/galvorn.h"
#include "ui/uitext.h"
#include "widgets/vrnlineedit.h"
#include "widgets/vrnpushbutton.h"
#include "widgets/vrnradiobutton.h"
#include "windowtest.h"

#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QTest>
#include <QTextEdit>

using galvorn::OperationType;

namespace {

class Operations : public OneWindowTest
{
protected:
    bool shown(const char* name) const { return !child<QWidget>(name)->isHidden(); }
    QString path() const { return child<VRNLineEdit>("pathEdit")->text(); }
    QString pane(const char* name) const { return child<QTextEdit>(name)->toPlainText(); }

    // Writes a data file with a header that claims librarySize bytes of data.
    QString writeDataFile(const char* name, std::uint32_t magic, std::size_t dataBytes,
                          std::uint32_t librarySize, std::uint32_t persons = 0) const
    {
        galvorn::facefile::Header header;
        header.magic = magic;
        header.librarySize = librarySize;
        header.personCount = persons;
        const auto bytes = galvorn::facefile::encodeHeader(header);
        const QString file = config.filePath(QString::fromLatin1(name));
        QFile out(file);
        EXPECT_TRUE(out.open(QIODevice::WriteOnly));
        out.write(reinterpret_cast<const char*>(bytes.data()), qint64(bytes.size()));
        out.write(QByteArray(qsizetype(dataBytes), 'x'));
        return file;
    }

    // Chooses a file for import and returns the text of the warning it caused, if any.
    QString browseForImport(const QString& file)
    {
        QString warning;
        const ModalAnswer modal([&warning](QWidget* box) {
            warning = static_cast<N12_MessageBox*>(box)->text();
            box->close();
        });
        window.applyBrowsedPath(file);
        return warning;
    }
};

} // namespace

TEST_F(Operations, StartsInImportMode)
{
    EXPECT_EQ(window.operationType(), OperationType::ImportData);
    EXPECT_TRUE(child<QAbstractButton>("importButton")->isChecked());
    EXPECT_FALSE(child<QAbstractButton>("exportButton")->isChecked());
    EXPECT_EQ(child<QLabel>("tipLabel")->text(), uiText("IDCS_FACE_LIBRARY_IMPORT_TIP"));
    EXPECT_TRUE(pane("leftPane").contains(QStringLiteral(":--")));
    EXPECT_TRUE(pane("rightPane").contains(QStringLiteral(":--")));
    EXPECT_FALSE(shown("datRadio"));
    EXPECT_FALSE(shown("csvRadio"));
    EXPECT_FALSE(shown("openExamplesButton"));
    EXPECT_TRUE(shown("libraryGroup"));
    EXPECT_EQ(child<VRNLineEdit>("userEdit")->text(), QStringLiteral("admin"));
    EXPECT_FALSE(child<QWidget>("sameTypeButton")->isEnabled());
    EXPECT_TRUE(child<QWidget>("selectAllButton")->isEnabled());
}

TEST_F(Operations, SwitchingResetsThePathAndPressingAgainKeepsIt)
{
    click("exportButton");
    EXPECT_EQ(window.operationType(), OperationType::ExportData);
    EXPECT_TRUE(shown("datRadio"));
    EXPECT_FALSE(child<QWidget>("selectAllButton")->isEnabled());
    window.applyBrowsedPath(config.path());
    EXPECT_EQ(path(), config.path());

    click("batchAddButton");
    EXPECT_EQ(window.operationType(), OperationType::BatchAdd);
    EXPECT_TRUE(path().isEmpty());
    EXPECT_TRUE(shown("openExamplesButton"));
    EXPECT_FALSE(shown("datRadio"));
    EXPECT_FALSE(shown("libraryGroup"));
    EXPECT_TRUE(pane("rightPane").contains(uiText("IDCS_SEX_FEMALE")));
    EXPECT_TRUE(pane("leftPane").contains(uiText("IDCS_STEP_4")));
    EXPECT_TRUE(child<QAbstractButton>("batchAddButton")->isChecked());

    window.applyBrowsedPath(config.path());
    click("exportButton");
    EXPECT_TRUE(path().isEmpty());
    window.applyBrowsedPath(config.path());
    click("exportButton");
    EXPECT_EQ(path(), config.path()) << "pressing the current operation keeps the path";
    EXPECT_TRUE(child<QAbstractButton>("exportButton")->isChecked()) << "and keeps it checked";
}

TEST_F(Operations, RadioButtonsChooseTheExportFormatAndKeepThePath)
{
    click("exportButton");
    window.applyBrowsedPath(config.path());
    click("csvRadio");
    EXPECT_EQ(window.operationType(), OperationType::ExportCsv);
    EXPECT_EQ(path(), config.path());
    click("datRadio");
    EXPECT_EQ(window.operationType(), OperationType::ExportData);
    EXPECT_EQ(path(), config.path());

    // With CSV chosen, coming back to export starts as a CSV export.
    click("csvRadio");
    click("importButton");
    click("exportButton");
    EXPECT_EQ(window.operationType(), OperationType::ExportCsv);
}

TEST_F(Operations, BrowseRefusesFilesThatAreNotDataFiles)
{
    struct Case
    {
        const char* name;
        std::uint32_t magic;
        std::size_t data;
        std::uint32_t claimed;
    };
    const Case cases[] = {
        {"header-only.dat", 0x00FFFFFF, 0, 0},
        {"short-claim.dat", 0x00FFFFFF, 100, 99},
        {"long-claim.dat", 0x00FFFFFF, 100, 101},
        {"bad-magic.dat", 0x00FFFFFE, 100, 100},
    };
    for (const Case& c : cases) {
        const QString file = writeDataFile(c.name, c.magic, c.data, c.claimed);
        EXPECT_EQ(browseForImport(file), uiText("IDCS_OPEN_FILE_FIAL")) << c.name;
        EXPECT_TRUE(path().isEmpty()) << c.name;
        EXPECT_TRUE(window.selectedPath().isEmpty()) << c.name;
        EXPECT_FALSE(window.importFile().isOpen()) << c.name;
    }
    EXPECT_EQ(browseForImport(config.filePath(QStringLiteral("missing.dat"))),
              uiText("IDCS_OPEN_FILE_FIAL"));
}

TEST_F(Operations, BrowseKeepsAValidDataFileOpenAndShowsItsSummary)
{
    const QString file = writeDataFile("library.dat", 0x00FFFFFF, 1000, 1000, 42);
    EXPECT_TRUE(browseForImport(file).isEmpty());
    EXPECT_EQ(path(), file);
    EXPECT_TRUE(window.importFile().isOpen());
    EXPECT_EQ(window.importFile().header().personCount, 42u);
    EXPECT_TRUE(pane("leftPane").contains(QStringLiteral(":42"))) << pane("leftPane").toStdString();

    click("exportButton");
    EXPECT_FALSE(window.importFile().isOpen()) << "leaving import lets go of the file";
}
