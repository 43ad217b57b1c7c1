// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QWidget>

class QLabel;

namespace sundrel {

// The help window: how to cut other formats by converting them to MP3 first.
class FrmO final : public QWidget {
    Q_OBJECT

public:
    explicit FrmO(QWidget* parent = nullptr);

    void Command1_Click();  // "关闭(&C)"

protected:
    // The help text is drawn here, line by line: the Song face's own line
    // spacing is less than its Chinese signs are tall, so that Qt's lines
    // touched and ran into each other.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QLabel* help_ = nullptr;
};

}  // namespace sundrel
