#include "VpnMenuController.h"

#include "DesktopComposition.h"

#include <string>

VpnMenuController::VpnMenuController(QObject* parent)
    : QObject(parent)
    , model(std::make_unique<ServerListUiModel>())
{
}

VpnMenuController::~VpnMenuController() = default;

bool VpnMenuController::transparencyEnabled() const
{
    if (!isWindows7())
        return true;
    return isAeroEnabled() == AeroState::Enabled;
}

QString VpnMenuController::serverCode() const
{
    return currentServerCode;
}

QString VpnMenuController::globalIp() const
{
    return currentGlobalIp;
}

int VpnMenuController::globalIpState() const
{
    return currentGlobalIpState;
}

int VpnMenuController::vpnConnectionState() const
{
    return currentVpnConnectionState;
}

ServerListUiModel* VpnMenuController::serverListModel() const
{
    return model.get();
}

void VpnMenuController::setIp(const QString& code, const QString& ip)
{
    if (currentServerCode != code) {
        currentServerCode = code;
        emit serverCodeChanged();
    }
    if (currentGlobalIp != ip) {
        currentGlobalIp = ip;
        emit globalIpChanged();
    }
    setGlobalIpState(GlobalIpState::Defined);
}

void VpnMenuController::setIpUndefined()
{
    setGlobalIpState(GlobalIpState::Undefined);
}

void VpnMenuController::setIpConnecting()
{
    setGlobalIpState(GlobalIpState::Connecting);
}

void VpnMenuController::setIpDisconnecting()
{
    setGlobalIpState(GlobalIpState::Disconnecting);
}

void VpnMenuController::setConnectionState(quint8 state)
{
    const int value = state;
    if (currentVpnConnectionState == value)
        return;
    currentVpnConnectionState = value;
    emit vpnConnectionStateChanged();
}

void VpnMenuController::setClickCallback(void* context, ServerClickCallback callback)
{
    clickContext = context;
    clickCallback = callback;
}

void VpnMenuController::showAt(int x, int y)
{
    emit showVpnUi(x, y);
}

void VpnMenuController::useLightTheme()
{
    emit setLightTheme();
}

void VpnMenuController::useDarkTheme()
{
    emit setDarkTheme();
}

void VpnMenuController::startServerList()
{
    model->startList();
}

void VpnMenuController::addServer(const ServerEntry& entry)
{
    model->addServer(entry);
}

void VpnMenuController::endServerList()
{
    model->endList();
}

void VpnMenuController::selectServer(const QString& code)
{
    model->selectServer(code);
}

void VpnMenuController::serverClicked(const QString& serverCode)
{
    if (!clickCallback)
        return;
    const std::wstring code = serverCode.toStdWString();
    clickCallback(clickContext, code.c_str());
}

void VpnMenuController::setGlobalIpState(GlobalIpState state)
{
    const int value = static_cast<int>(state);
    if (currentGlobalIpState == value)
        return;
    currentGlobalIpState = value;
    emit globalIpStateChanged();
}
