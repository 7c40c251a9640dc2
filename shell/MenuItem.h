// The main window's menu items, each by its place in the window's table.
#pragma once

#include <cstddef>
#include <cstdint>

enum class TMenuItem : uint8_t {
    FileConnect,
    FileAbort,
    FileDisconnect,
    FileHosts,
    FileSetHost,
    FileDirectory,
    FileImportHosts,
    FileCapture,
    FileOpenArt,
    FileSaveAnsi,
    FileTransferDivider,
    FileReceiveFiles,
    FileSendFiles,
    FileTransferProtocol,
    FileSetHostDivider,
    FileExit,
    FileLastDivider,
    FileLast1,
    FileLast2,
    FileLast3,
    FileLast4,
    FileLast5,
    EditCut,
    EditCopy,
    EditPaste,
    EditClear,
    EditSelectAll,
    EditRestoreDraft,
    EditXCut,
    EditXCopy,
    EditXPaste,
    EditDivider,
    EditColours,
    EditFindDivider,
    EditFind,
    EditClearHistory,
    ViewMessages,
    OptionsPreferences,
    OptionsFont,
    OptionsMacros,
    OptionsUserFilter,
    OptionsHighlights,
    HelpContents,
    HelpTopicSearch,
    HelpHowToUseHelp,
    HelpAboutDivider,
    HelpAbout,
    Count
};

constexpr size_t MenuItemCount = size_t(TMenuItem::Count);

// The recent host i (1..5).
constexpr TMenuItem RecentItem(int i)
{
    return TMenuItem(int(TMenuItem::FileLast1) + i - 1);
}
