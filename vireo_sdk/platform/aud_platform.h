#pragma once

// What the environment starts on its first reference and stops on its last: the process-wide
// platform state of the SDK.

void aud_platform_start();
void aud_platform_stop();

// Whether the platform is started now, and how often it has been started in this process.
bool aud_platform_running();
unsigned aud_platform_start_count();

// Whether the packet-information receive is available: set by the first start, kept for the
// life of the process.
bool aud_platform_recvmsg_ready();
