// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QWidget>

namespace sundrel {

// The About window: the product, its version and how to reach its makers.
class FrmA final : public QWidget {
    Q_OBJECT

public:
    explicit FrmA(QWidget* parent = nullptr);

    void Command2_Click();  // "确定(Q)"
};

}  // namespace sundrel
