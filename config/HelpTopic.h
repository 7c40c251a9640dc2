// The help topics F1 opens. A window, dialog, menu or menu item names its topic with the Qt
// property HelpTopicProperty (the topic's number); one without looks to its parents.
#pragma once

#include <cstdint>

enum class THelpTopic : uint8_t {
    None = 0,       // no topic of its own
    MainWindow = 2, // also what F1 shows when nothing names a topic
    FileMenu = 3,
    SetupHosts = 4,
    EditMenu = 5,
    Palette = 6,
    OptionsMenu = 7,
    Preferences = 8,
    UserFilter = 9,
    Macros = 10,
    HelpMenu = 11, // the Help menu and the help window itself
    Font = 12,
    OfflineEditor = 13,
    Find = 14,
    Messages = 15,
    Capture = 16,
    Accessibility = 17, // the Preferences' page of what a screen reader is told
    History = 25,       // the history and Edit "Clear History..."
    Transfers = 30,     // file transfers and their panel
    Directory = 31,     // the Directory window, Import Hosts and Export
    Highlights = 32,    // Options "Highlights..."
    ArtViewer = 33,     // File "Open ANSI Art..." and its window
};

constexpr const char *HelpTopicProperty = "helpContext";
