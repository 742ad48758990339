#include "BrowserModel.h"

#include "browse/db_browse.h"

BrowserModel::BrowserModel(QObject* parent) : QObject(parent) {}

BrowserModel::~BrowserModel() {
    releaseBrowse();
}

void BrowserModel::releaseBrowse() {
    if (m_browse) {
        db_browse_stop(m_browse);
        db_browse_delete(m_browse);
        m_browse = nullptr;
    }
}
