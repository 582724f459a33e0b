// The pictures of the Encrypt and Decrypt buttons: a closed and an open grey padlock,
// drawn as vectors at whatever size and pixel density a screen asks for, so they stay
// sharp on high-DPI screens.
#pragma once

#include <QIcon>

namespace kerfo::ui {

enum class Padlock { kClosed, kOpen };

// The padlock picture; its design size is 32 by 32 logical pixels. The disabled mode is
// drawn faded, as the buttons show it while they cannot be pressed.
QIcon padlockIcon(Padlock kind);

}  // namespace kerfo::ui
