// The names the monitor and the main agent are known by, to each other and on disk. Each is
// written here once, so the places that must agree on one (the IPC registration, the heartbeat,
// the command filter, start-up, the crash path) cannot drift apart. Log texts that mention a
// name keep it in the text: they are read, and searched for, as they stand.
#pragma once

// The component name the agent libraries are given: the agent control, maintenance and the
// resource monitor know the monitor by it, and the directory check runs at once for it.
inline constexpr char kMonitorComponentName[] = "korvexmonitor";
// The main agent's component name: a resource event owned by it goes out as an IPC message.
inline constexpr char kAgentComponentName[] = "korvex";

// The name the monitor goes by towards the main agent: its IPC client name, the plug-in name in
// its heartbeat, and the "view_type" of the control commands meant for it.
inline constexpr char kMonitorPluginName[] = "KorvexMonitor";

// The executable files as the process list shows them.
inline constexpr char kMonitorExecutableName[] = "KorvexMonitor.exe";
inline constexpr char kAgentExecutableName[] = "Korvex.exe";

// The error-record file in the application directory: start-up failures and progress, resource
// events and crashes.
inline constexpr char kErrorRecordFileName[] = "MonitorError.data";
