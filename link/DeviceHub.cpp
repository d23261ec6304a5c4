#include "link/DeviceHub.h"

namespace zendal {

DeviceHub::DeviceHub(QObject* parent) : QObject(parent) {
    connect(&watcher_, &DeviceListWatcher::changed, this, &DeviceHub::devicesChanged);
}

DeviceHub::~DeviceHub() = default;

void DeviceHub::addBackend(PortDriver* driver, const QString& name) {
    if (!driver || backend(driver)) return;
    backends_.append(Backend{driver, name, true});
}

DeviceHub::Backend* DeviceHub::backend(PortDriver* driver) {
    for (Backend& b : backends_) {
        if (b.driver == driver) return &b;
    }
    return nullptr;
}

bool DeviceHub::backendEnabled(PortDriver* driver) const {
    for (const Backend& b : backends_) {
        if (b.driver == driver) return b.enabled;
    }
    return false;
}

void DeviceHub::setBackendEnabled(PortDriver* driver, bool enabled) {
    Backend* b = backend(driver);
    if (!b || b->enabled == enabled) return;
    b->enabled = enabled;
    if (!enabled) {
        // Its devices vanish like unplugged ones: closed underneath, failing
        // every call but close until the port module lets go of them.
        for (auto& [h, r] : routes_) {
            if (r.driver == driver && !r.gone) {
                r.driver->close(r.handle);
                r.gone = true;
            }
        }
    }
    notifyDevicesChanged();
}

bool DeviceHub::watchKernelDevices(const QStringList& folders) {
    return watcher_.watch(folders);
}

QVector<DeviceHub::Listed> DeviceHub::list() {
    QVector<Listed> out;
    for (const Backend& b : backends_) {
        if (!b.enabled) continue;
        DeviceListing listing = b.driver->listDevices();
        // A backend that cannot list hides only its own devices.
        if (listing.status != PortStatus::Ok) continue;
        for (DeviceEntry& entry : listing.devices) {
            bool seen = false;
            for (const Listed& l : out) seen = seen || l.entry.serial == entry.serial;
            if (seen) continue;
            entry.backend = b.name;
            out.append(Listed{b.driver, std::move(entry)});
        }
    }
    return out;
}

DeviceListing DeviceHub::listDevices() {
    DeviceListing listing;
    for (Listed& l : list()) listing.devices.push_back(std::move(l.entry));
    return listing;
}

Opened DeviceHub::open(const QByteArray& wanted) {
    lastError_.clear();
    // The backend that lists the serial first opens it; a serial nobody
    // lists (a path typed by the user) is offered to every backend in turn.
    QVector<PortDriver*> candidates;
    for (const Listed& l : list()) {
        if (l.entry.serial == wanted) candidates.append(l.driver);
    }
    if (candidates.isEmpty()) {
        for (const Backend& b : backends_) {
            if (b.enabled) candidates.append(b.driver);
        }
    }
    PortStatus result = PortStatus::DeviceNotFound;
    for (PortDriver* driver : candidates) {
        const Opened opened = driver->open(wanted);
        if (opened.status == PortStatus::Ok) {
            const PortHandle h{nextHandle_++};
            if (nextHandle_ == 0) nextHandle_ = 1;
            routes_.emplace(h, Route{driver, opened.handle, false});
            return {PortStatus::Ok, h};
        }
        // The most telling failure wins: "not found" only if nobody knew it.
        if (result == PortStatus::DeviceNotFound) {
            result = opened.status;
            lastError_ = driver->lastError();
        }
    }
    return {result, {}};
}

const DeviceHub::Route* DeviceHub::route(PortHandle handle) const {
    const auto it = routes_.find(handle);
    return it == routes_.end() ? nullptr : &it->second;
}

PortDriver* DeviceHub::backendOf(PortHandle handle) const {
    const Route* r = route(handle);
    return r && !r->gone ? r->driver : nullptr;
}

PortStatus DeviceHub::close(PortHandle handle) {
    const Route* r = route(handle);
    if (!r) return PortStatus::InvalidHandle;
    if (r->gone) {
        routes_.erase(handle);
        return PortStatus::Ok;
    }
    const PortStatus s = r->driver->close(r->handle);
    // A backend that no longer knows the handle has let go of it too; any
    // other failure keeps the route so that closing can be tried again.
    if (s == PortStatus::Ok || s == PortStatus::InvalidHandle) routes_.erase(handle);
    return s;
}

#define ZENDAL_ROUTE(failed, call)                     \
    const Route* r = route(handle);                    \
    if (!r) return failed(PortStatus::InvalidHandle);  \
    if (r->gone) return failed(PortStatus::Unplugged); \
    return r->driver->call;

namespace {
PortStatus plain(PortStatus s) {
    return s;
}
Transferred none(PortStatus s) {
    return {s, 0};
}
}  // namespace

Transferred DeviceHub::read(PortHandle handle,
                            std::span<std::uint8_t> into){ZENDAL_ROUTE(none, read(r->handle, into))}

Transferred DeviceHub::write(PortHandle handle, std::span<const std::uint8_t> bytes){
    ZENDAL_ROUTE(none, write(r->handle, bytes))}

Transferred DeviceHub::queued(PortHandle handle){ZENDAL_ROUTE(none, queued(r->handle))}

PortStatus DeviceHub::setBaudRate(PortHandle handle, std::uint32_t baud){
    ZENDAL_ROUTE(plain, setBaudRate(r->handle, baud))}

PortStatus DeviceHub::setFraming(PortHandle handle, Framing framing){
    ZENDAL_ROUTE(plain, setFraming(r->handle, framing))}

PortStatus DeviceHub::purge(PortHandle handle,
                            PurgeQueue queues){ZENDAL_ROUTE(plain, purge(r->handle, queues))}

PortStatus DeviceHub::setLatencyTimer(PortHandle handle, std::uint8_t ms){
    ZENDAL_ROUTE(plain, setLatencyTimer(r->handle, ms))}

PortStatus DeviceHub::latencyTimer(PortHandle handle, std::uint8_t& ms) {
    ZENDAL_ROUTE(plain, latencyTimer(r->handle, ms))
}

#undef ZENDAL_ROUTE

int DeviceHub::readyFd(PortHandle handle) {
    const Route* r = route(handle);
    return r && !r->gone ? r->driver->readyFd(r->handle) : -1;
}

DeviceKind DeviceHub::kind(PortHandle handle) {
    const Route* r = route(handle);
    return r && !r->gone ? r->driver->kind(r->handle) : DeviceKind::None;
}

}  // namespace zendal
