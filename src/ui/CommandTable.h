// The menus, the toolbar and the texts of every command: menu label (with
// its access key), status-bar prompt and tool tip.
#pragma once

#include <vector>

namespace nami {

struct CommandInfo {
  int id;
  const char* label;   // menu label, UTF-8, "&" before the access key
  const char* prompt;  // status-bar prompt ("" = none)
  const char* tip;     // tool tip ("" = none)
};

// Menu entries: a command id, kSeparator, or kRecentFiles (the list of
// recent files goes there).
inline constexpr int kSeparator = 0;
inline constexpr int kRecentFiles = -1;

struct MenuInfo {
  const char* title;
  std::vector<int> items;
};

const std::vector<MenuInfo>& MainMenu();
// The toolbar buttons in order; kSeparator between groups.
const std::vector<int>& ToolbarButtons();
// The texts of a command; nullptr for an unknown id.
const CommandInfo* FindCommand(int id);

}  // namespace nami
