// The "System Outline" page: fourteen rectangular gauges and the centre gauge,
// the charging stage, fault warning and time-to-charge labels, the FRS buttons.
#pragma once

#include <QWidget>

#include "display/gauges.h"
#include "display/outline_config.h"
#include "model/system_data.h"

class QLabel;
class QToolButton;

namespace korvan {

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
    bool FrsControlsChecked() const;
    // The separator of real values; the user's locale unless set.
    void SetDecimalSeparator(char sep);
    // While the link is lost: this text in place of the charging stage; empty
    // when values come again.
    void SetStale(const QString& text);

    // The gauges, in the order they are laid out; CenterGauge last.
    TRectGauge SocGauge, CurrentGauge, VoltageGauge, TempGauge, LoadGauge;
    TRectGauge AltCurrentGauge1, AltTempGauge1, RpmGauge1, FieldGauge1;
    TRectGauge AltCurrentGauge2, AltTempGauge2, RpmGauge2, FieldGauge2;
    TRectGauge FrsGauge;
    TRoundGauge CenterGauge;
    TRectGauge& Gauge(OutlineGauge which);

    QLabel* ChargeModeLabel = nullptr;
    QLabel* WarningLabel = nullptr;
    QLabel* ChargeTimeLabel = nullptr;
    QLabel* Engine1StaticText = nullptr;
    QLabel* Engine2StaticText = nullptr;
    QWidget* LeftBevel = nullptr;
    QWidget* RightBevel = nullptr;
    QToolButton* FRSPlusButton = nullptr;
    QToolButton* FRSMinusButton = nullptr;

  signals:
    void FRSPlusButtonClick();
    void FRSMinusButtonClick();

  protected:
    void resizeEvent(QResizeEvent* event) override;

  private:
    void PlaceLabels();
    struct Impl;
    Impl* d_;
};

}  // namespace korvan
