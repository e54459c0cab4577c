// One running copy per instance name: the first copy listens on a named local
// server; a later copy that can connect to it knows it is not the first.
#pragma once

#include <QLocalServer>
#include <QString>

namespace korvan {

// The real tool's name; the demo has its own so the two can run side by side.
inline constexpr const char* ToolInstanceName = "TMainFormKX4";
inline constexpr const char* DemoInstanceName = "TMainFormKX4Demo";

class SingleInstance {
  public:
    explicit SingleInstance(const QString& name);
    bool AnotherRunning() const { return anotherRunning_; }

  private:
    QLocalServer server_;
    bool anotherRunning_ = false;
};

}  // namespace korvan
