#pragma once

enum class AeroState {
    Enabled,
    Disabled,
    Undetermined,
};

bool isWindows7();
AeroState isAeroEnabled();
