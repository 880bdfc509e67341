#pragma once

#include "ServerListUiModel.h"
#include "ZeravQtUi.h"

#include <QObject>
#include <QString>

#include <memory>

// The window's view of the state the host sets, and the way a server click
// goes back to the host. Lives on the UI thread only.
class VpnMenuController : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool transparencyEnabled READ transparencyEnabled CONSTANT FINAL)
    Q_PROPERTY(QString serverCode READ serverCode NOTIFY serverCodeChanged)
    Q_PROPERTY(QString globalIp READ globalIp NOTIFY globalIpChanged)
    Q_PROPERTY(int globalIpState READ globalIpState NOTIFY globalIpStateChanged)
    Q_PROPERTY(int vpnConnectionState READ vpnConnectionState NOTIFY vpnConnectionStateChanged)
    Q_PROPERTY(ServerListUiModel* serverListModel READ serverListModel CONSTANT FINAL)

public:
    enum class GlobalIpState {
        Undefined = 0,
        Connecting = 1,
        Disconnecting = 2,
        Defined = 3,
    };
    Q_ENUM(GlobalIpState)

    enum class VpnConnectionState {
        Unprotected = 0,
        Protected = 1,
    };
    Q_ENUM(VpnConnectionState)

    explicit VpnMenuController(QObject* parent = nullptr);
    ~VpnMenuController() override;

    bool transparencyEnabled() const;
    QString serverCode() const;
    QString globalIp() const;
    int globalIpState() const;
    int vpnConnectionState() const;
    ServerListUiModel* serverListModel() const;

    void setIp(const QString& code, const QString& ip);
    void setIpUndefined();
    void setIpConnecting();
    void setIpDisconnecting();
    void setConnectionState(quint8 state);
    void setClickCallback(void* context, ServerClickCallback callback);
    void showAt(int x, int y);
    void useLightTheme();
    void useDarkTheme();
    void startServerList();
    void addServer(const ServerEntry& entry);
    void endServerList();
    void selectServer(const QString& code);

    Q_INVOKABLE void serverClicked(const QString& serverCode);

signals:
    void serverCodeChanged();
    void globalIpChanged();
    void globalIpStateChanged();
    void vpnConnectionStateChanged();
    void showVpnUi(int x, int y);
    void setLightTheme();
    void setDarkTheme();

private:
    void setGlobalIpState(GlobalIpState state);

    void* clickContext = nullptr;
    ServerClickCallback clickCallback = nullptr;
    std::unique_ptr<ServerListUiModel> model;
    QString currentServerCode;
    QString currentGlobalIp;
    int currentGlobalIpState = static_cast<int>(GlobalIpState::Connecting);
    int currentVpnConnectionState = static_cast<int>(VpnConnectionState::Unprotected);
};
