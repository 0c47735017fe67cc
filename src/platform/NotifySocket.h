#pragma once

namespace vk {

// A datagram socket connected in advance to the service manager's NOTIFY_SOCKET, for the one
// message that must go out where sd_notify may not be called: a signal handler may call send on
// it. -1 outside the service manager or when it cannot be connected. (Everything else the link
// tells the manager goes through ServiceNotify.)
int connectedNotifySocket();

}  // namespace vk
