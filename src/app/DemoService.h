#pragma once
// The demo chosen at the first start: the service simulator (faxsim) on a loopback port of
// this user's own, with a demo account, started by the window whenever the settings name it.
// Its jobs are kept in the data folder, so that faxes sent in one run are followed in the next.
#include <string>

struct CSettings;

namespace demo {

inline constexpr const char* kUser = "74950000000";
inline constexpr const char* kPassword = "demo1234";
// How a failed start of the simulator is labelled for platform::EndedInFailure.
inline constexpr const char* kLabel = "faxsim (demo)";
inline constexpr unsigned kMsgFailed = 9447;  // %s the program, %s its exit code
inline constexpr unsigned kMsgMissing = 9448; // no simulator beside this program

// The loopback port of this user's demo, fixed so that the settings stay valid, and the
// service address made of it ("127.0.0.1:PORT").
unsigned Port();
std::string Host();
// The settings name the demo service.
bool IsChosen(const CSettings& settings);
// The simulator installed with this program ("" when there is none).
std::string SimulatorPath();
// Starts the simulator for the settings' data folder. False when it could not be started;
// a simulator that ends at once (its port taken) is told by EndedInFailure as kLabel.
bool Start(const CSettings& settings);

} // namespace demo
