// The decoded side of the NMEA-2000 page: filters, the captured frames as a table,
// the fields of the selected frame, and the sources seen on the bus.
#pragma once

#include <QWidget>

class QCheckBox;
class QLineEdit;
class QListWidget;
class QTableView;
class QTableWidget;

namespace korvan {

class CanFrameModel;

class CanDecodedView : public QWidget {
    Q_OBJECT
  public:
    explicit CanDecodedView(QWidget* parent = nullptr);

    CanFrameModel* Model() const { return model_; }

    QLineEdit* PgnFilterEdit = nullptr;    // a PGN number or part of its name
    QCheckBox* N2kOnlyCheckBox = nullptr;  // "NMEA 2000 only"
    QListWidget* SourceList = nullptr;     // "All sources", then each source seen
    QTableView* FrameTable = nullptr;
    QTableWidget* FieldTable = nullptr;  // field, value of the selected frame

  protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

  private:
    void ApplyFilter();
    void RefreshSources();
    void ShowFields();
    bool AtEnd() const;

    CanFrameModel* model_ = nullptr;
    bool follow_ = true;  // the table showed its end when it was last seen
};

}  // namespace korvan
