// SPDX-License-Identifier: GPL-3.0-or-later
#include "waveform_accessible.h"

#include "waveform_bar.h"

#include <QAccessibleValueInterface>
#include <QAccessibleWidget>

namespace sundrel {

namespace {

class WaveformAccessible final : public QAccessibleWidget, public QAccessibleValueInterface {
public:
    explicit WaveformAccessible(WaveformBar* bar) : QAccessibleWidget(bar, QAccessible::Slider) {}

    void* interface_cast(QAccessible::InterfaceType type) override
    {
        if (type == QAccessible::ValueInterface)
            return static_cast<QAccessibleValueInterface*>(this);
        return QAccessibleWidget::interface_cast(type);
    }

    QString text(QAccessible::Text kind) const override
    {
        // Qt's AT-SPI bridge passes no value text on, only a number: the
        // text goes as the description too, where a screen reader reads
        // it. The keys stay in the tooltip.
        if (kind == QAccessible::Value || kind == QAccessible::Description)
            return WaveformValueText(*bar());
        return QAccessibleWidget::text(kind);
    }

    QVariant currentValue() const override { return bar()->positionSeconds(); }
    void setCurrentValue(const QVariant& value) override { bar()->moveTo(value.toDouble()); }
    QVariant maximumValue() const override { return bar()->view().durationSeconds(); }
    QVariant minimumValue() const override { return 0.0; }
    QVariant minimumStepSize() const override { return bar()->frameGrid().known() ? bar()->frameGrid().length : 0.1; }

private:
    WaveformBar* bar() const { return static_cast<WaveformBar*>(widget()); }
};

QAccessibleInterface* MakeWaveformAccessible(const QString& className, QObject* object)
{
    if (className == QLatin1String("sundrel::WaveformBar"))
        if (auto* bar = qobject_cast<WaveformBar*>(object))
            return new WaveformAccessible(bar);
    return nullptr;
}

}  // namespace

QString TooLongWarning() { return QStringLiteral("选区长于 40 秒：iPhone 的铃声最长 40 秒"); }

QString WaveformValueText(const WaveformBar& bar)
{
    if (bar.view().durationSeconds() <= 0)
        return {};
    const auto seconds = [](double s) { return QStringLiteral("%1 秒").arg(s, 0, 'f', 2); };
    QString text =
        QStringLiteral("位置 %1，共 %2").arg(seconds(bar.positionSeconds()), seconds(bar.view().durationSeconds()));
    const auto start = bar.startMarkSeconds();
    const auto end = bar.endMarkSeconds();
    if (start)
        text += QStringLiteral("；开始 %1").arg(seconds(*start));
    if (start && end)
        text += QStringLiteral("，结束 %1，长 %2").arg(seconds(*end), seconds(*end - *start));
    if (start && end && *end - *start > kLongestRingtoneSeconds)
        text += QStringLiteral("（%1）").arg(TooLongWarning());
    if (start && end && bar.shownFade(PlayerFade::In) > 0)
        text += QStringLiteral("，渐入 %1").arg(seconds(bar.shownFade(PlayerFade::In)));
    if (start && end && bar.shownFade(PlayerFade::Out) > 0)
        text += QStringLiteral("，渐出 %1").arg(seconds(bar.shownFade(PlayerFade::Out)));
    if (start && end && bar.volumeDb() != 0)
        text += QStringLiteral("，音量 %1 dB").arg(QString::asprintf("%+.1f", bar.volumeDb()));
    return text;
}

void InstallWaveformAccessible()
{
    static const bool installed = (QAccessible::installFactory(&MakeWaveformAccessible), true);
    Q_UNUSED(installed);
}

}  // namespace sundrel
