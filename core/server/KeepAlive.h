// The keep-alive worker and the logout: after the café login the worker
// re-sends pending handovers every cycle and runs a catalogue
// synchronisation every second cycle; after an offline login it probes the
// server until it answers and then tells the page ("cb-11"). The service
// manager starts it (StartKeepAlive) and stops it with m_keepAliveStop,
// which wakes its waits at once.
#pragma once

class CServiceManager;
class WorkerTask;

// The worker's body; returns when the stop flag rises, when the session is
// missing, or (offline) once the server answered.
void keep_alive_thread(CServiceManager& service, WorkerTask& task);

// One reachability probe; true when the server sent any answer.
bool ProbeServer(CServiceManager& service);

// Hands the logout to the request pool when there is a session, and gives a
// pool worker a moment to send it. Host thread, at shut-down.
void Logout(CServiceManager& service);
