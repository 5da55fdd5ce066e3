#include "viewer/gui/MessageBoxes.h"

QMessageBox::StandardButton QtMessageBoxes::show(const MessageBoxRequest &request)
{
    QMessageBox box(request.icon, request.caption, request.text, request.buttons, m_parent);
    return QMessageBox::StandardButton(box.exec());
}
