#pragma once
// The menu's five screens and the gui.gui names it looks up. Shared by the
// Menu and by the gui.gui compiler, which refuses a source that lacks one.
#include "gui/GuiRecords.h"
#include "script/ActionKeyTable.h"

namespace menu {

enum Screen { ScreenMain, ScreenSettings, ScreenControls, ScreenVideo, ScreenKill, ScreenCount };

inline const char* const kWindowNames[ScreenCount] = { "main", "settings", "settingsControls", "settingsVideo", "kill" };
// Where Escape and the back buttons go; -1 ends the program.
inline const int kParentScreens[ScreenCount] = { -1, ScreenMain, ScreenSettings, ScreenSettings, ScreenMain };

inline const char* const kNewGameButton = "btn_newGame";
inline const char* const kSettingsButton = "btn_settings";
inline const char* const kQuitButton = "btn_quit";
inline const char* const kControlsButton = "btn_settingsControls";
inline const char* const kVideoButton = "btn_settingsVideo";
inline const char* const kSettingsBackButton = "btn_settingsBack";
inline const char* const kApplyButton = "btn_settingsCtrlApply";
inline const char* const kControlsCancelButton = "btn_settingsCtrlCancel";
inline const char* const kVideoOkButton = "btn_settingsVideoOK";
inline const char* const kVideoCancelButton = "btn_settingsVideoCancel";
inline const char* const kKillOkButton = "btn_killOk";
inline const char* const kResolutionCombo = "combo_settingsVideoRes";
inline const char* const kFullscreenCheck = "check_settingsVideoFullscreen";

struct RequiredWidget {
    int screen;
    int type;  // gui::WidgetType
    const char* name;
};

inline const RequiredWidget kRequiredWidgets[] = {
    { ScreenMain, gui::kTypeButton, kNewGameButton },
    { ScreenMain, gui::kTypeButton, kSettingsButton },
    { ScreenMain, gui::kTypeButton, kQuitButton },
    { ScreenSettings, gui::kTypeButton, kControlsButton },
    { ScreenSettings, gui::kTypeButton, kVideoButton },
    { ScreenSettings, gui::kTypeButton, kSettingsBackButton },
    { ScreenControls, gui::kTypeButton, kApplyButton },
    { ScreenControls, gui::kTypeButton, kControlsCancelButton },
    { ScreenVideo, gui::kTypeButton, kVideoOkButton },
    { ScreenVideo, gui::kTypeButton, kVideoCancelButton },
    { ScreenVideo, gui::kTypeComboBox, kResolutionCombo },
    { ScreenVideo, gui::kTypeCheckBox, kFullscreenCheck },
    { ScreenKill, gui::kTypeButton, kKillOkButton },
};

// One action as the controls screen lists it: its edit box and the command
// input.lua calls for it. Every one is a required edit box of ScreenControls.
struct ActionField {
    int action;           // PlayerAction
    const char* editBox;
    const char* command;
};

const int kActionFieldCount = 7;
// In the order input.lua lists them.
inline const ActionField kInputFileOrder[kActionFieldCount] = {
    { ActionForward, "edit_forward", "inputForward" },
    { ActionBackward, "edit_backward", "inputBackward" },
    { ActionUp, "edit_up", "inputUp" },
    { ActionDown, "edit_down", "inputDown" },
    { ActionLeft, "edit_left", "inputLeft" },
    { ActionRight, "edit_right", "inputRight" },
    { ActionShoot, "edit_shoot", "inputShoot" },
};

// The rows of the resolution list, in this order.
inline const char* const kResolutions[] = { "640x400", "800x600", "1024x768", "1280x1024" };

} // namespace menu
