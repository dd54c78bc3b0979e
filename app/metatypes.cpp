#include "app/metatypes.h"

#include "support/inttypes.h"

#include <QMetaType>

namespace galvorn {

void registerMetaTypes()
{
    qRegisterMetaType<tuint16>("tuint16");
    qRegisterMetaType<tint16>("tint16");
    qRegisterMetaType<tuint32>("tuint32");
    qRegisterMetaType<tint32>("tint32");
    qRegisterMetaType<tuint64>("tuint64");
    qRegisterMetaType<tint64>("tint64");
    qRegisterMetaType<tuint_ptr>("tuint_ptr");
    qRegisterMetaType<tint_ptr>("tint_ptr");
}

} // namespace galvorn
