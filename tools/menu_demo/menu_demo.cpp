// Shows the server menu with a sample list, the way a host would fill it.
//
//   menu_demo [--dark] [--connected | --connecting | --disconnecting | --undefined]
//             [--screenshot FILE]
//
// Without --screenshot the menu stays up until a server is clicked (printed
// on standard output). With it, the shown window is saved as a PNG; without a
// display the offscreen platform is used.

#include "ZeravQtUi.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QQuickWindow>
#include <QScreen>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>

namespace {

enum class IpState { Unprotected, Connected, Connecting, Disconnecting, Undefined };

struct Options
{
    bool dark = false;
    IpState state = IpState::Unprotected;
    std::string screenshot;
};

struct Server
{
    const wchar_t* code;
    const wchar_t* name;
    int type;
    int priority;
    const char* stripes[3];
    bool vertical;
};

const Server servers[] = {
    { L"de-fra", L"Germany, Frankfurt", 0, 30, { "#000000", "#DD0000", "#FFCE00" }, false },
    { L"nl-ams", L"Netherlands, Amsterdam", 0, 20, { "#AE1C28", "#FFFFFF", "#21468B" }, false },
    { L"fr-par", L"France, Paris", 0, 10, { "#0055A4", "#FFFFFF", "#EF4135" }, true },
    { L"it-mil", L"Italy, Milan", 2, 40, { "#009246", "#FFFFFF", "#CE2B37" }, true },
    { L"at-vie", L"Austria, Vienna", 2, 30, { "#ED2939", "#FFFFFF", "#ED2939" }, false },
    { L"be-bru", L"Belgium, Brussels", 2, 20, { "#000000", "#FDDA24", "#EF3340" }, true },
    { L"ru-mow", L"Russia, Moscow", 2, 10, { "#FFFFFF", "#0039A6", "#D52B1E" }, false },
};

// A three-stripe flag as the host would send it: encoded image bytes (SVG,
// which the image plug-ins recognise by content).
std::string flagIcon(const Server& server)
{
    std::string svg = "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"24\" height=\"24\" viewBox=\"0 0 24 24\">";
    for (int i = 0; i < 3; ++i) {
        const std::string stripe = server.vertical
            ? "x=\"" + std::to_string(1 + i * 22.0 / 3) + "\" y=\"4\" width=\"7.34\" height=\"16\""
            : "x=\"1\" y=\"" + std::to_string(4 + i * 16.0 / 3) + "\" width=\"22\" height=\"5.34\"";
        svg += "<rect " + stripe + " fill=\"" + server.stripes[i] + "\"/>";
    }
    svg += "<rect x=\"1\" y=\"4\" width=\"22\" height=\"16\" rx=\"1\" fill=\"none\" stroke=\"#000000\" "
           "stroke-opacity=\"0.15\"/></svg>";
    return svg;
}

bool parse(int argc, char** argv, Options& options)
{
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--dark")
            options.dark = true;
        else if (argument == "--light")
            options.dark = false;
        else if (argument == "--connected")
            options.state = IpState::Connected;
        else if (argument == "--connecting")
            options.state = IpState::Connecting;
        else if (argument == "--disconnecting")
            options.state = IpState::Disconnecting;
        else if (argument == "--undefined")
            options.state = IpState::Undefined;
        else if (argument == "--screenshot" && i + 1 < argc)
            options.screenshot = argv[++i];
        else
            return false;
    }
    return true;
}

// Icons go first: rows load their picture once, when the list is built.
void fillMenu(const Options& options)
{
    for (const Server& server : servers) {
        const std::string icon = flagIcon(server);
        ZeravQtUi_addIcon(server.code, icon.data(), int(icon.size()));
    }
    ZeravQtUi_startServerList();
    for (const Server& server : servers)
        ZeravQtUi_addServer(server.code, server.name, server.type, server.priority);
    ZeravQtUi_endServerList();

    if (options.dark)
        ZeravQtUi_setDarkTheme();
    else
        ZeravQtUi_setLightTheme();

    switch (options.state) {
    case IpState::Unprotected:
        ZeravQtUi_setIp(L"", "203.0.113.24");
        ZeravQtUi_setVpnConnectionState(0);
        break;
    case IpState::Connected:
        ZeravQtUi_selectServerWithCode(L"de-fra");
        ZeravQtUi_setIp(L"de-fra", "198.51.100.7");
        ZeravQtUi_setVpnConnectionState(1);
        break;
    case IpState::Connecting:
        ZeravQtUi_selectServerWithCode(L"de-fra");
        ZeravQtUi_setIpConnecting();
        break;
    case IpState::Disconnecting:
        ZeravQtUi_selectServerWithCode(L"de-fra");
        ZeravQtUi_setIpDisconnecting();
        ZeravQtUi_setVpnConnectionState(1);
        break;
    case IpState::Undefined:
        ZeravQtUi_setIpUndefined();
        break;
    }
}

QQuickWindow* menuWindow()
{
    const QWindowList windows = QGuiApplication::topLevelWindows();
    for (QWindow* window : windows) {
        if (window->objectName() == QLatin1String("vpnWindow"))
            return qobject_cast<QQuickWindow*>(window);
    }
    return nullptr;
}

// Runs on the menu's thread. The scene graph's own grab needs OpenGL or a
// window it can render again; the screen's copy serves platforms without.
bool saveScreenshot(const QString& file)
{
    QQuickWindow* window = menuWindow();
    if (!window || !window->isVisible())
        return false;
    QImage image = window->grabWindow();
    if (image.isNull())
        image = window->screen()->grabWindow(window->winId()).toImage();
    return !image.isNull() && image.save(file, "PNG");
}

std::mutex clickMutex;
std::condition_variable clickCondition;
std::wstring clickedCode;
bool clicked = false;

void onServerClick(void*, const wchar_t* serverCode)
{
    std::lock_guard<std::mutex> lock(clickMutex);
    clickedCode = serverCode;
    clicked = true;
    clickCondition.notify_all();
}

int waitForClick()
{
    std::unique_lock<std::mutex> lock(clickMutex);
    clickCondition.wait(lock, [] { return clicked; });
    std::printf("clicked %ls\n", clickedCode.c_str());
    return 0;
}

int takeScreenshot(const std::string& file)
{
    // Give the window time to be shown and drawn with its icons.
    std::this_thread::sleep_for(std::chrono::milliseconds(800));
    bool saved = false;
    QMetaObject::invokeMethod(
        QCoreApplication::instance(), [&file] { return saveScreenshot(QString::fromStdString(file)); },
        Qt::BlockingQueuedConnection, &saved);
    if (!saved) {
        std::fprintf(stderr, "menu_demo: no screenshot written to %s\n", file.c_str());
        return 1;
    }
    std::printf("menu_demo: wrote %s\n", file.c_str());
    return 0;
}

// A screenshot needs no display: without one the offscreen platform draws the
// window, and since it has no OpenGL, Qt Quick's software renderer with it.
void chooseOffscreenWhenHeadless(const Options& options)
{
    if (!options.screenshot.empty() && !qEnvironmentVariableIsSet("QT_QPA_PLATFORM")
        && !qEnvironmentVariableIsSet("DISPLAY") && !qEnvironmentVariableIsSet("WAYLAND_DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (qgetenv("QT_QPA_PLATFORM") == "offscreen" && !qEnvironmentVariableIsSet("QT_QUICK_BACKEND"))
        qputenv("QT_QUICK_BACKEND", "software");
}

} // namespace

int main(int argc, char** argv)
{
    Options options;
    if (!parse(argc, argv, options)) {
        std::fprintf(stderr,
            "usage: %s [--dark] [--connected|--connecting|--disconnecting|--undefined] [--screenshot FILE]\n",
            argv[0]);
        return 2;
    }
    chooseOffscreenWhenHeadless(options);

    if (!ZeravQtUi_initQtUi()) {
        // A slow start is allowed; the menu comes up a little later.
        while (!QCoreApplication::instance())
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        QMetaObject::invokeMethod(QCoreApplication::instance(), [] {}, Qt::BlockingQueuedConnection);
    }
    ZeravQtUi_setServerClickCallback(nullptr, &onServerClick);
    fillMenu(options);
    ZeravQtUi_showAt(40, 40);

    const int result = options.screenshot.empty() ? waitForClick() : takeScreenshot(options.screenshot);
    ZeravQtUi_quit();
    return result;
}
