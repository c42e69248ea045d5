#include "app/CBrelvantisDoc.h"

CBrelvantisDoc::CBrelvantisDoc(QObject *parent) : QObject(parent) {}

bool CBrelvantisDoc::OnNewDocument() {
    m_strTitle = QStringLiteral("Vellorix900 外网上传软件");
    return true;
}
