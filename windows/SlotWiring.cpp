#include "SlotWiring.h"

#include <QMetaMethod>
#include <QObject>

bool connectSameNamedSlots(QObject* sender, const char* const* signatures, int count,
                           QObject* receiver) {
    const QMetaObject* from = sender->metaObject();
    const QMetaObject* to = receiver->metaObject();
    bool ok = true;
    for (int i = 0; i < count; ++i) {
        const int signal = from->indexOfSignal(signatures[i]);
        const int slot = to->indexOfSlot(signatures[i]);
        if (signal < 0 || slot < 0 ||
            !QObject::connect(sender, from->method(signal), receiver, to->method(slot))) {
            ok = false;
        }
    }
    return ok;
}
