// The "System Outline" page: fourteen rectangular gauges and the centre gauge,
// the charging stage, fault warning and time-to-charge labels, the FRS buttons.
#pragma once

#include <QWidget>

#include "model/system_data.h"

namespace korvan {

enum class CenterChoice { BatteryVoltage, BatteryCurrent, Soc, LoadCurrent, BatteryTemperature };

class OutlineView : public QWidget {
    Q_OBJECT
public:
    explicit OutlineView(const SystemData& data, QWidget* parent = nullptr);
    ~OutlineView() override;

    // Places and configures every gauge from the page size and the settings records
    // as they are now, then places the labels and bevels.
    void LayoutOutline();
    // Feeds the decoded values to the gauges and labels.
    void RefreshOutline();
    // The "Center Gauge Display" choice; lays the view out again.
    void SetCenterChoice(CenterChoice choice);
    CenterChoice centerChoice() const;
    // "On-screen FRS Controls": the buttons follow at the next refresh.
    void SetFrsControlsChecked(bool checked);

signals:
    void FRSPlusButtonClick();
    void FRSMinusButtonClick();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    struct Impl;
    Impl* d_;
};

}  // namespace korvan
