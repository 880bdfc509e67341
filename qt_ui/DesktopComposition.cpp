#include "DesktopComposition.h"

#include <QLibrary>
#include <QOperatingSystemVersion>
#include <QtGlobal>

bool isWindows7()
{
    const QOperatingSystemVersion current = QOperatingSystemVersion::current();
    const QOperatingSystemVersion windows7 = QOperatingSystemVersion::Windows7;
    return current.type() == windows7.type()
        && current.majorVersion() == windows7.majorVersion()
        && current.minorVersion() == windows7.minorVersion();
}

#ifdef Q_OS_WIN

namespace {
// The BOOL and HRESULT of the Windows headers, kept local so that this file
// needs no Windows header.
using WinBool = int;
using DwmIsCompositionEnabledFunction = long(__stdcall*)(WinBool*);
}

AeroState isAeroEnabled()
{
    QLibrary dwmapi(QStringLiteral("dwmapi"));
    if (!dwmapi.load()) {
        qInfo("isAeroEnabled: DwmApi not loaded");
        return AeroState::Undetermined;
    }
    const auto isCompositionEnabled = reinterpret_cast<DwmIsCompositionEnabledFunction>(
        dwmapi.resolve("DwmIsCompositionEnabled"));
    if (!isCompositionEnabled)
        return AeroState::Undetermined;

    WinBool enabled = 0;
    try {
        isCompositionEnabled(&enabled);
    } catch (...) {
        qInfo("isAeroEnabled: Catch exception from DwmIsCompositionEnabled :(");
        return AeroState::Undetermined;
    }
    switch (enabled) {
    case 0:
        return AeroState::Disabled;
    case 1:
        return AeroState::Enabled;
    default:
        return AeroState::Undetermined;
    }
}

#else

// Desktop composition is a Windows notion; elsewhere nothing can tell.
AeroState isAeroEnabled()
{
    return AeroState::Undetermined;
}

#endif
