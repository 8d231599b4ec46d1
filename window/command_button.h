#pragma once

#include <QPushButton>

// A push button whose caption marks its access key with "&", clicked by mouse, by its access
// key, or by Space, Enter or Return while it has the focus.
class CommandButton : public QPushButton {
    Q_OBJECT

public:
    CommandButton(const QString& caption, QWidget* parent);

protected:
    void keyPressEvent(QKeyEvent* event) override;
};
