#pragma once

#include <QMessageBox>
#include <QString>

class QWidget;

struct MessageBoxRequest
{
    QString caption;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons = QMessageBox::Ok;
};

// Every message box the main window shows goes through here, so that tests can read the texts and
// answer in the user's place.
class MessageBoxes
{
public:
    virtual ~MessageBoxes() = default;
    // Shows the box and returns the button the user chose (Cancel, or No, when closed otherwise).
    virtual QMessageBox::StandardButton show(const MessageBoxRequest &request) = 0;
};

// The real boxes, modal over `parent`.
class QtMessageBoxes : public MessageBoxes
{
public:
    explicit QtMessageBoxes(QWidget *parent = nullptr) : m_parent(parent) {}
    void setParent(QWidget *parent) { m_parent = parent; }
    QMessageBox::StandardButton show(const MessageBoxRequest &request) override;

private:
    QWidget *m_parent;
};
