#include "ZeravQtUi.h"

#include "ImageProvider.h"
#include "UiContext.h"
#include "VpnMenuController.h"

#include <QImage>
#include <QString>

namespace {

QString fromWide(const wchar_t* text)
{
    return text ? QString::fromWCharArray(text) : QString();
}

QString fromUtf8(const char* text)
{
    return text ? QString::fromUtf8(text) : QString();
}

// Undecodable or missing bytes still give an entry: a null image.
QImage decodeImage(const char* data, int size)
{
    QImage image;
    if (data && size > 0)
        image.loadFromData(reinterpret_cast<const uchar*>(data), size);
    return image;
}

template <typename Request>
void postToController(Request request)
{
    UiContext::instance().postToUiThread([request] {
        if (VpnMenuController* controller = UiContext::instance().menuController())
            request(*controller);
    });
}

} // namespace

bool ZeravQtUi_initQtUi()
{
    return UiContext::instance().start();
}

void ZeravQtUi_quit()
{
    UiContext::instance().stop();
}

void ZeravQtUi_showAt(int x, int y)
{
    postToController([x, y](VpnMenuController& controller) { controller.showAt(x, y); });
}

void ZeravQtUi_setLightTheme()
{
    postToController([](VpnMenuController& controller) { controller.useLightTheme(); });
}

void ZeravQtUi_setDarkTheme()
{
    postToController([](VpnMenuController& controller) { controller.useDarkTheme(); });
}

void ZeravQtUi_setIp(const wchar_t* serverCode, const char* ip)
{
    const QString code = fromWide(serverCode);
    const QString ipText = fromUtf8(ip);
    postToController([code, ipText](VpnMenuController& controller) { controller.setIp(code, ipText); });
}

void ZeravQtUi_setIpUndefined()
{
    postToController([](VpnMenuController& controller) { controller.setIpUndefined(); });
}

void ZeravQtUi_setIpConnecting()
{
    postToController([](VpnMenuController& controller) { controller.setIpConnecting(); });
}

void ZeravQtUi_setIpDisconnecting()
{
    postToController([](VpnMenuController& controller) { controller.setIpDisconnecting(); });
}

void ZeravQtUi_setVpnConnectionState(unsigned char state)
{
    postToController([state](VpnMenuController& controller) { controller.setConnectionState(state); });
}

void ZeravQtUi_startServerList()
{
    postToController([](VpnMenuController& controller) { controller.startServerList(); });
}

void ZeravQtUi_addServer(const wchar_t* code, const wchar_t* name, int type, int priority)
{
    const ServerEntry entry { fromWide(code), fromWide(name), type, priority };
    postToController([entry](VpnMenuController& controller) { controller.addServer(entry); });
}

void ZeravQtUi_endServerList()
{
    postToController([](VpnMenuController& controller) { controller.endServerList(); });
}

void ZeravQtUi_selectServerWithCode(const wchar_t* code)
{
    const QString serverCode = fromWide(code);
    postToController([serverCode](VpnMenuController& controller) { controller.selectServer(serverCode); });
}

void ZeravQtUi_addIcon(const wchar_t* code, const char* data, int size)
{
    // Decoding loads Qt's image plug-ins; not worth it for a request that
    // would be dropped, and it would make the host's thread Qt's first.
    if (!UiContext::instance().acceptsRequests())
        return;
    const QString iconCode = fromWide(code);
    const QImage image = decodeImage(data, size);
    UiContext::instance().postToUiThread([iconCode, image] {
        if (ImageProvider* provider = UiContext::instance().imageProvider())
            provider->storeIcon(iconCode, image);
    });
}

void ZeravQtUi_setServerClickCallback(void* context, ServerClickCallback callback)
{
    postToController([context, callback](VpnMenuController& controller) {
        controller.setClickCallback(context, callback);
    });
}
