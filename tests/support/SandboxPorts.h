#pragma once
#include <map>
#include <string>

// A Unix path as a Windows program under Wine sees it (the Unix root is Z:);
// other paths are returned unchanged.
std::wstring WinePathFromUnix(std::wstring path);

// The ports of the sandbox the CTest fixture started: the file named by
// VELTRAY_SANDBOX_PORT_FILE holds "name=number" lines (port, tls_port,
// proxy_port). Empty when the variable or the file is missing.
std::map<std::string, int> ReadSandboxPorts();
