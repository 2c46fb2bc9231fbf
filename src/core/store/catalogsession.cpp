#include "core/store/catalogsession.h"

namespace vorlane {

CatalogSession::CatalogSession(QObject* parent) : QObject(parent) {
    setObjectName(QStringLiteral("CatalogSession"));
}

void CatalogSession::setCurrentFile(const QString& file) {
    if (file == m_file)
        return;
    m_file = file;
    emit fileChanged(m_file);
}

void CatalogSession::setAccessMode(AccessMode mode) {
    if (mode == m_accessMode)
        return;
    m_accessMode = mode;
    emit accessModeChanged(m_accessMode);
}

void CatalogSession::setModified(bool on) {
    if (on == m_modified)
        return;
    m_modified = on;
    emit modifiedChanged(m_modified);
}

void CatalogSession::setCounts(int categories, int discs) {
    if (categories == m_categoryCount && discs == m_discCount)
        return;
    m_categoryCount = categories;
    m_discCount = discs;
    emit countsChanged(m_categoryCount, m_discCount);
}

void CatalogSession::setShownDisc(qint64 discId) {
    if (discId == m_shownDisc)
        return;
    m_shownDisc = discId;
    emit shownDiscChanged(m_shownDisc);
}

void CatalogSession::notifyTreeChanged() {
    emit treeChanged();
    emit written();
}

void CatalogSession::notifyDiscAdded(qint64 categoryId, qint64 discId, const QString& name) {
    emit discAdded(categoryId, discId, name);
    emit written();
}

void CatalogSession::notifyEntriesChanged(qint64 discId) {
    emit entriesChanged(discId);
    emit written();
}

void CatalogSession::notifyNoteChanged(qint64 discId, qint64 entryId, const QString& text) {
    emit noteChanged(discId, entryId, text);
    emit written();
}

} // namespace vorlane
