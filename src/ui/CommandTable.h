// One row per command: its texts, accelerator, toolbar icon, when it is
// enabled and what it does. The menus, the toolbar, the history pane's
// context menu and the accelerators are all built from these rows, in the
// orders given below; a new command is one row (and its place in a menu).
#pragma once

#include <QString>
#include <optional>
#include <vector>

#include "ui/Command.h"

class QPainter;

namespace nami {

class CCommandRouter;

using CommandTest = bool (*)(const CCommandRouter&);
using CommandRun = void (*)(CCommandRouter&);
using IconPainter = void (*)(QPainter&);

struct CommandRow {
  Command id;
  const char* label;        // menu label, UTF-8, "&" before the access key
  const char* prompt = "";  // status-bar prompt ("" = none)
  const char* tip = "";     // tool tip ("" = none of its own)
  int key = 0;              // accelerator (a QKeyCombination's int), 0 = none
  IconPainter icon = nullptr;
  CommandTest enabled = nullptr;  // nullptr: always, when it has an action
  CommandRun run = nullptr;       // nullptr: no handler in this program (never enabled)
  CommandTest checked = nullptr;  // a switch: whether it is on
};

// A menu or toolbar place: a command, or a separator (nullopt).
using CommandPlace = std::optional<Command>;
inline constexpr CommandPlace kSeparator = std::nullopt;

struct MenuLayout {
  const char* title;
  std::vector<CommandPlace> items;
};

const std::vector<CommandRow>& CommandRows();
// The row of a command; nullptr for a number that is no command.
const CommandRow* FindCommand(int id);
const CommandRow& RowOf(Command id);

const std::vector<MenuLayout>& MainMenu();
// The toolbar buttons in order.
const std::vector<CommandPlace>& ToolbarButtons();
// The history pane's context menu.
const std::vector<Command>& HistoryContextMenu();
// A context menu's label: the menu label without the kana after the access
// key ("コピー(&Cｺ)" -> "コピー(&C)").
QString ContextLabel(const CommandRow& row);

}  // namespace nami
