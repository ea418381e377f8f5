#pragma once

#include <QString>
#include <cstdint>

namespace app {

// One process-wide table of message names and ids. Code keeps talking about messages by their
// names (as other programs do), and compares ids at run time. The same name always gives the
// same id; ids start at 0xC000 so they never clash with the fixed private numbers of
// PrivateMessages.h. Safe to call from any thread.
class RegisteredMessages {
public:
    static constexpr uint32_t kFirstId = 0xC000;
    static constexpr uint32_t kLastId = 0xFFFF;

    // The id of `name`, registering it on first use; 0 when the name is empty or the id range
    // is used up (callers treat an id outside kFirstId..kLastId as a failed registration).
    static uint32_t Register(const QString& name);
    // The id of a name registered before, or 0.
    static uint32_t Find(const QString& name);
    // The name behind an id, or an empty string.
    static QString Name(uint32_t id);

    // Registers every message the application exchanges, in start-up order: the recording-hook
    // and game messages, then the instance message, then the GUID messages.
    static void RegisterAll();
};

// The names, exactly as other programs register them.
namespace msg {
inline constexpr char kInstance[] = "tamrel wireless";
inline constexpr char kUpdateRelay[] = "{4695579F-999A-41d4-9FAF-EFFCE93EBF15}";
inline constexpr char kLightControlBroadcast[] = "{4695579F-999A-41d4-9FAF-EFFCE93EBF16}";
inline constexpr char kLightControlRequest[] = "{4695579F-999A-41d4-9FAF-EFFCE93EBF17}";
inline constexpr char kWorkToolQuery[] = "{4695579F-999A-41d4-9FAF-EFFCE93EBF18}";
// Ends in "EBE19", unlike the four above: the capture program registers exactly this.
inline constexpr char kAudioRecorder[] = "{4695579F-999A-41d4-9FAF-EFFCE93EBE19}";

// Reported by the input hooks while a key is captured or a macro recorded.
inline constexpr const char* kHookMessages[] = {
    "WM_HOOK_KEY_SINGLEKEY_MSG",       "WM_HOOK_KEY_HITKEY_MSG",
    "WM_HOOK_KEY_KBMACRO_MSG",         "WM_HOOK_KEY_MSMACRO_MSG",
    "WM_HOOK_KEY_KBMACROSINGLE_MSG",   "WM_HOOK_KEY_KBMACROPREVIOUS_MSG",
    "WM_HOOK_KEY_KBMACROLATER_MSG",    "WM_HOOK_MOU_SINGLEKEY_MSG",
    "WM_HOOK_MOU_HITKEY_MSG",          "WM_HOOK_MOU_KBMACRO_MSG",
    "WM_HOOK_MOU_MSMACRO_MSG",         "WM_HOOK_KEY_MSMACROSINGLE_MSG",
    "WM_HOOK_KEY_MSMACROPREVIOUS_MSG", "WM_HOOK_KEY_MSMACROLATER_MSG",
};
inline constexpr const char* kMouseMessages[] = {
    "UWM_MOUSERBUTTONDOWN_USER_MSG", "UWM_MOUSELBUTTONUP_USER_MSG",
    "UWM_MOUSELBUTTONDOWN_USER_MSG", "UWM_MOUSERBUTTONUP_USER_MSG",
    "UWM_MOUSEMOVE_USER_MSG",
};
// Posted by a game or a tool beside it; all four start the same game lighting event.
inline constexpr const char* kGameMessages[] = {"Game_Start", "Game_End", "Game_Kill",
                                                "Game_Death"};
}  // namespace msg

}  // namespace app
