// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QWidget>

namespace sundrel {

// The help window: how to cut other formats by converting them to MP3 first.
class FrmO final : public QWidget {
    Q_OBJECT

public:
    explicit FrmO(QWidget* parent = nullptr);

    void Command1_Click();  // "关闭(&C)"
};

}  // namespace sundrel
