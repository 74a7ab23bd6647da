// Quendril: construction, logon and renewal, the two timers, the notification channel, the
// connection-loss check, the widget registry, the current pump and the version texts.
#include "controls/Quendril.h"

#include <fcntl.h>
#include <unistd.h>

#include <QPaintEvent>
#include <QPainter>
#include <QSocketNotifier>

#include <algorithm>
#include <cerrno>

#include "controls/VQPump.h"
#include "controls/VQTank.h"
#include "platform/bstr.h"
#include "quendril/include/quendril.h"

namespace Varnel {

namespace {

constexpr int32_t kNoSession = 8;
constexpr int32_t kConnectionClosed = -14;
constexpr int32_t kTimeout = -23;
constexpr int32_t kEventHandle = -1;
constexpr int32_t kTopBits = static_cast<int32_t>(0xF0000000u);

// A BSTR for one library call, released when it goes.
class BStrArg {
public:
    explicit BStrArg(const QString& s) : b_(String2BSTR(s)) {}
    ~BStrArg() { SysFreeString(b_); }
    BStrArg(const BStrArg&) = delete;
    BStrArg& operator=(const BStrArg&) = delete;
    operator BSTR() const { return b_; }

private:
    BSTR b_;
};

// The ports travel as unsigned 16-bit numbers: -1 is port 65535.
uint16_t Port(int16_t port) { return static_cast<uint16_t>(port); }

QPixmap LoadLogo() {
    QImage image(QStringLiteral(":/Varnel/QuendrilLG.bmp"));
    QPixmap pixmap = QPixmap::fromImage(image);
    if (!pixmap.isNull()) pixmap.setMask(pixmap.createMaskFromColor(QColor(128, 0, 128), Qt::MaskInColor));
    return pixmap;
}

}  // namespace

int16_t Quendril::_reLogonTimeout = 10000;
int16_t Quendril::_eventTimeout = 5000;

Quendril::Quendril(QWidget* parent) : QWidget(parent) {
    connect(&_nTimer, &QTimer::timeout, this, &Quendril::OnLogonTimer);
    connect(&_eventTimer, &QTimer::timeout, this, &Quendril::OnEventTimer);
    _logoBMP = LoadLogo();
    resize(_logoBMP.isNull() ? QSize(46, 34) : _logoBMP.size());
    _clientEventType = kDefaultEventMask;
    _clientCategory = 0;
    _callsPort = 5123;
    _eventsPort = 5124;
    _callTimeout = 10000;
}

Quendril::~Quendril() {
    ClientLogoff();
    delete _channelNotifier;
    if (_channelRead >= 0) ::close(_channelRead);
    if (_channelWrite >= 0) ::close(_channelWrite);
}

void Quendril::SetTimerIntervals(int16_t reLogonTimeout, int16_t eventTimeout) {
    _reLogonTimeout = reLogonTimeout;
    _eventTimeout = eventTimeout;
}

QSize Quendril::sizeHint() const { return _logoBMP.isNull() ? QSize(46, 34) : _logoBMP.size(); }

void Quendril::paintEvent(QPaintEvent*) {
    if (_logoBMP.isNull()) return;
    if (size() != _logoBMP.size()) resize(_logoBMP.size());
    QPainter painter(this);
    painter.drawPixmap(0, 0, _logoBMP);
}

// ---- the notification channel ------------------------------------------------------------

int64_t Quendril::WindowHandle() {
    if (_channelWrite < 0) {
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) != 0) return 0;  // no channel: the library then writes nothing
        ::fcntl(fds[0], F_SETFL, ::fcntl(fds[0], F_GETFL) | O_NONBLOCK);
        // The library never blocks on a full channel: it drops the record (the queue stays).
        ::fcntl(fds[1], F_SETFL, ::fcntl(fds[1], F_GETFL) | O_NONBLOCK);
        _channelRead = fds[0];
        _channelWrite = fds[1];
        _channelNotifier = new QSocketNotifier(_channelRead, QSocketNotifier::Read, this);
        connect(_channelNotifier, &QSocketNotifier::activated, this, &Quendril::OnNotification);
    }
    return _channelWrite;
}

void Quendril::OnNotification() {
    QuendrilNotification records[64];
    for (;;) {
        const ssize_t n = ::read(_channelRead, records, sizeof records);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        const size_t count = static_cast<size_t>(n) / sizeof(QuendrilNotification);
        const uint32_t epoch = _channelEpoch;
        for (size_t i = 0; i < count && epoch == _channelEpoch; ++i) {
            if (records[i].MessageNo == kMessageNo) HandleMessage(records[i].LParam);
        }
        if (static_cast<size_t>(n) < sizeof records) return;
    }
}

// Records still in the channel belong to a session that has just been logged off; handling
// them later would report its loss a second time.
void Quendril::DiscardNotifications() {
    ++_channelEpoch;
    if (_channelRead < 0) return;
    char buffer[1024];
    while (::read(_channelRead, buffer, sizeof buffer) > 0) {
    }
}

void Quendril::HandleMessage(int64_t lParam) {
    if (::CheckSocketClosed(lParam) == kConnectionClosed) {
        CheckResult(kConnectionClosed);
    } else {
        CheckEvents();
    }
}

// ---- logon -------------------------------------------------------------------------------

void Quendril::StartEventTimer() {
    _eventTimer.setInterval(_eventTimeout);
    _eventTimer.start();
}

int32_t Quendril::ClientLogon(int32_t ClientID, int16_t ClientType) {
    const int64_t window = WindowHandle();
    const int32_t res = ::ClientLogon(ClientID, ClientType, kEventHandle, window, kMessageNo);
    if (res != 0) return res;
    _clientID = ClientID;
    _clientType = ClientType;
    _callsPort = 5123;
    _eventsPort = 5124;
    _callTimeout = 10000;
    _serverName = QLatin1String("");
    _clientName = QLatin1String("");
    _hashKey = QLatin1String("");
    _clientEventType = kDefaultEventMask;
    _clientCategory = 0;
    StartEventTimer();
    return res;
}

int32_t Quendril::ClientLogonEx(int32_t ClientID, int16_t ClientType, const QString& ServerName, int16_t CallPortNo,
                                int16_t EventsPortNo, int32_t CallTimeout) {
    const int64_t window = WindowHandle();
    int32_t res;
    {
        BStrArg server(ServerName);
        res = ::ClientLogonEx(ClientID, ClientType, server, Port(CallPortNo), Port(EventsPortNo), CallTimeout,
                              kEventHandle, window, kMessageNo);
    }
    if (res != 0) return res;
    _clientID = ClientID;
    _clientType = ClientType;
    _serverName = ServerName;
    _callsPort = CallPortNo;
    _eventsPort = EventsPortNo;
    _callTimeout = CallTimeout;
    _clientName = QLatin1String("");
    _hashKey = QLatin1String("");
    _clientEventType = kDefaultEventMask;
    _clientCategory = 0;
    StartEventTimer();
    return res;
}

int32_t Quendril::InternalClientLogon(int32_t ClientID, int16_t ClientType, const QString& ClientName,
                                      int16_t ClientCategory, const QString& HashKey, int32_t EventMask,
                                      const QString& ServerName, int16_t CallPortNo, int16_t EventsPortNo,
                                      int32_t CallTimeout) {
    const int64_t window = WindowHandle();
    int32_t res;
    {
        BStrArg name(ClientName);
        BStrArg key(HashKey);
        BStrArg server(ServerName);
        res = ::InternalClientLogon(ClientID, ClientType, name, ClientCategory, key, EventMask, server,
                                    Port(CallPortNo), Port(EventsPortNo), CallTimeout, kEventHandle, window,
                                    kMessageNo);
    }
    if (res != 0) return res;
    _clientID = ClientID;
    _clientType = ClientType;
    _clientName = ClientName;
    _clientCategory = ClientCategory;
    _hashKey = HashKey;
    _clientEventType = EventMask;
    _serverName = ServerName;
    _callsPort = CallPortNo;
    _eventsPort = EventsPortNo;
    _callTimeout = CallTimeout;
    StartEventTimer();
    return res;
}

int32_t Quendril::ClientLogoff() {
    _clientID = -1;
    _clientType = 0;
    _nTimer.stop();
    _eventTimer.stop();
    const int32_t res = ::ClientLogoff();
    DiscardNotifications();
    return res;
}

void Quendril::StoreClientKey(int32_t ClientKey) {
    if (ClientKey != 0 && (ClientKey & kTopBits) == 0) _clientEventType = ClientKey;
}

// ---- connection loss and renewal ---------------------------------------------------------

int32_t Quendril::CheckResult(int32_t res) {
    if (res != kNoSession && res != kConnectionClosed && res != kTimeout) return res;
    // A widget's sink may unregister widgets: walk copies.
    const std::vector<VQPump*> pumps = _VQPumpsList;
    for (VQPump* pump : pumps) {
        pump->StatusEventSink(0, 1, -1, -1, 0, 0, -1, 0, QLatin1String(""), QLatin1String(""), 1, 0.0, 0.0, 0.0, 0,
                              QLatin1String(""), -1, -1, -1, 1, 2, 0, -1, 0, 0, 0, 0, 0, 0, 0, -1, -1, 0,
                              QLatin1String(""), -1, -1, 0, QLatin1String(""), -1, -1.0, -1.0);
    }
    const std::vector<VQTank*> tanks = _VQTanksList;
    for (VQTank* tank : tanks) {
        tank->StatusEventSink(0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0, QLatin1String(""), -1, QLatin1String(""), 0, 0.0,
                              0.0, -1, 0, 6, 0);
    }
    if (res == kConnectionClosed) emit ServerConnectionBroken();
    ::ClientLogoff();
    DiscardNotifications();
    _eventTimer.stop();
    _nTimer.setInterval(_reLogonTimeout);
    _nTimer.start();
    return res;
}

void Quendril::OnLogonTimer() {
    _nTimer.stop();
    if (_clientID == -1) return;
    const int64_t window = WindowHandle();
    int32_t res;
    if (_clientCategory > 0) {
        BStrArg name(_clientName);
        BStrArg key(_hashKey);
        BStrArg server(_serverName);
        res = ::InternalClientLogon(_clientID, _clientType, name, _clientCategory, key, _clientEventType, server,
                                    Port(_callsPort), Port(_eventsPort), _callTimeout, kEventHandle, window,
                                    kMessageNo);
    } else if (!_serverName.isNull()) {
        BStrArg server(_serverName);
        res = ::ClientLogonEx(_clientID, _clientType, server, Port(_callsPort), Port(_eventsPort), _callTimeout,
                              kEventHandle, window, kMessageNo);
    } else {
        res = ::ClientLogon(_clientID, _clientType, kEventHandle, window, kMessageNo);
    }
    if (res == 0) {
        StartEventTimer();
        emit ServerReconnected();
        if (_clientEventType != kDefaultEventMask) ::SetClientType(_clientEventType);
    } else {
        _nTimer.setInterval(_reLogonTimeout);
        _nTimer.start();
    }
}

void Quendril::OnEventTimer() {
    CheckEvents();
    CheckResult(::TestConnection());
    if (::WasReconnected() != 0) emit ServerReconnected();
}

// ---- widgets and the current pump --------------------------------------------------------

bool Quendril::AddVQPump(VQPump* pVQPump) {
    if (pVQPump == nullptr || std::find(_VQPumpsList.begin(), _VQPumpsList.end(), pVQPump) != _VQPumpsList.end()) {
        return false;
    }
    _VQPumpsList.push_back(pVQPump);
    return true;
}

bool Quendril::RemoveVQPump(VQPump* pVQPump) {
    auto it = std::find(_VQPumpsList.begin(), _VQPumpsList.end(), pVQPump);
    if (it == _VQPumpsList.end()) return false;
    _VQPumpsList.erase(it);
    return true;
}

bool Quendril::AddVQTank(VQTank* pVQTank) {
    if (pVQTank == nullptr || std::find(_VQTanksList.begin(), _VQTanksList.end(), pVQTank) != _VQTanksList.end()) {
        return false;
    }
    _VQTanksList.push_back(pVQTank);
    return true;
}

bool Quendril::RemoveVQTank(VQTank* pVQTank) {
    auto it = std::find(_VQTanksList.begin(), _VQTanksList.end(), pVQTank);
    if (it == _VQTanksList.end()) return false;
    _VQTanksList.erase(it);
    return true;
}

void Quendril::SetCurrentPump(int32_t value) {
    if (value == _currentPumpID) return;
    const std::vector<VQPump*> pumps = _VQPumpsList;
    for (VQPump* pump : pumps) {
        if (pump->ID() == _currentPumpID) pump->SetIsCurrentPump(false);
        if (pump->ID() == value) pump->SetIsCurrentPump(true);
    }
    _currentPumpID = value;
    emit CurrentPumpEvent(value);
}

int32_t Quendril::GetNETVersion(QString& pVersionStr) {
    // The text of the 64-bit package, the only one built here.
    pVersionStr = QStringLiteral("Varnel .NET package Version(2,5,8,1:B1) Built(Jul 10 2025 at 14:30:15)");
    return 0;
}

}  // namespace Varnel
