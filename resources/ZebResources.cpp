#include "ZebResources.h"

#include <QtGlobal>

// Outside any namespace, as the resource initialiser requires.
static void initZebResources() {
    Q_INIT_RESOURCE(zeb);
}

void zebInitResources() {
    initZebResources();
}
