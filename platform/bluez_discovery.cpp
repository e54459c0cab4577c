#include "platform/bluez_discovery.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QVariantMap>
#include <algorithm>
#include <atomic>
#include <cstdio>

#include "platform/rfcomm_ports.h"

namespace korvan {

namespace {

constexpr int CallTimeoutMs = 2000;
const QString BluezService = QStringLiteral("org.bluez");
const QString AdapterInterface = QStringLiteral("org.bluez.Adapter1");
const QString DeviceInterface = QStringLiteral("org.bluez.Device1");

using InterfaceMap = QMap<QString, QVariantMap>;

// a{sa{sv}} of one object from GetManagedObjects.
InterfaceMap ReadInterfaces(const QDBusArgument& arg) {
    InterfaceMap interfaces;
    arg.beginMap();
    while (!arg.atEnd()) {
        QString name;
        QVariantMap props;
        arg.beginMapEntry();
        arg >> name;
        arg.beginMap();
        while (!arg.atEnd()) {
            QString key;
            QDBusVariant value;
            arg.beginMapEntry();
            arg >> key >> value;
            arg.endMapEntry();
            props.insert(key, value.variant());
        }
        arg.endMap();
        arg.endMapEntry();
        interfaces.insert(name, props);
    }
    arg.endMap();
    return interfaces;
}

QDBusConnection Connect(const std::string& address, const std::string& name) {
    if (address.empty()) return QDBusConnection::systemBus();
    const QString qname = QString::fromStdString(name);
    if (QDBusConnection(qname).isConnected()) return QDBusConnection(qname);
    // A connection lost with its bus is dropped, so that a new one can be made.
    QDBusConnection::disconnectFromBus(qname);
    return QDBusConnection::connectToBus(QString::fromStdString(address),
                                         QString::fromStdString(name));
}

}  // namespace

bool ParseBluetoothAddress(const std::string& text, std::array<uint8_t, 6>& out) {
    unsigned b[6];
    char tail;
    if (std::sscanf(text.c_str(), "%2x:%2x:%2x:%2x:%2x:%2x%c", &b[0], &b[1], &b[2], &b[3], &b[4],
                    &b[5], &tail) != 6)
        return false;
    for (int i = 0; i < 6; ++i) out[i] = static_cast<uint8_t>(b[i]);
    return true;
}

BluezDiscovery::BluezDiscovery(std::string busAddress, std::string ttyRoot, std::string devRoot)
    : busAddress_(std::move(busAddress)),
      ttyRoot_(std::move(ttyRoot)),
      devRoot_(std::move(devRoot)) {
    static std::atomic<int> counter{0};
    connectionName_ = "korvan-bluez-" + std::to_string(counter++);
}

bool BluezDiscovery::Query(std::vector<std::string>& adapters, std::vector<Device>& devices) {
    QDBusConnection bus = Connect(busAddress_, connectionName_);
    if (!bus.isConnected()) return false;
    QDBusMessage call = QDBusMessage::createMethodCall(
        BluezService, QStringLiteral("/"), QStringLiteral("org.freedesktop.DBus.ObjectManager"),
        QStringLiteral("GetManagedObjects"));
    const QDBusMessage reply = bus.call(call, QDBus::Block, CallTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) return false;

    const QDBusArgument arg = reply.arguments().at(0).value<QDBusArgument>();
    arg.beginMap();
    while (!arg.atEnd()) {
        QDBusObjectPath path;
        arg.beginMapEntry();
        arg >> path;
        const InterfaceMap interfaces = ReadInterfaces(arg);
        arg.endMapEntry();
        if (interfaces.contains(AdapterInterface)) adapters.push_back(path.path().toStdString());
        const auto device = interfaces.find(DeviceInterface);
        if (device == interfaces.end()) continue;
        const QVariantMap& p = device.value();
        // Only paired devices are remembered ones; no inquiry is ever started.
        if (!p.value(QStringLiteral("Paired")).toBool()) continue;
        Device d;
        d.Path = path.path().toStdString();
        d.AdapterPath =
            p.value(QStringLiteral("Adapter")).value<QDBusObjectPath>().path().toStdString();
        d.Info.Name = p.value(QStringLiteral("Name")).toString().toStdString();
        if (!ParseBluetoothAddress(p.value(QStringLiteral("Address")).toString().toStdString(),
                                   d.Info.Address))
            continue;
        d.Info.ClassOfDevice = p.value(QStringLiteral("Class")).toUInt();
        d.Info.Connected = p.value(QStringLiteral("Connected")).toBool();
        d.Info.Remembered = true;
        d.Info.Authenticated = true;
        devices.push_back(d);
    }
    arg.endMap();
    // The bus lists objects in no fixed order; path order keeps "a later match
    // replaces an earlier one" the same from one poll to the next.
    std::sort(adapters.begin(), adapters.end());
    std::sort(devices.begin(), devices.end(),
              [](const Device& a, const Device& b) { return a.Path < b.Path; });
    return true;
}

int BluezDiscovery::RadioCount() {
    adapters_.clear();
    devices_.clear();
    if (!Query(adapters_, devices_)) {
        adapters_.clear();
        devices_.clear();
    }
    return static_cast<int>(adapters_.size());
}

std::vector<BluetoothDeviceInfo> BluezDiscovery::RememberedDevices(int radio) {
    std::vector<BluetoothDeviceInfo> out;
    if (radio < 0 || radio >= static_cast<int>(adapters_.size())) return out;
    for (const Device& d : devices_) {
        if (d.AdapterPath == adapters_[static_cast<size_t>(radio)]) out.push_back(d.Info);
    }
    return out;
}

std::string BluezDiscovery::FindPort(const std::string& addressText) {
    return FindRfcommPort(addressText, ttyRoot_, devRoot_);
}

}  // namespace korvan
