#pragma once
// What the main window shows after start-up: the six item boxes with their
// captions, states and places, the version labels, and the start-up message
// when the kit cannot be used on this computer. Pure logic; the window copies
// the result into its controls.

#include <array>
#include <cstddef>
#include <optional>
#include <string>

#include "config.h"
#include "detection.h"

namespace installer {

// The item boxes, in the order the Install button's rule lists them.
enum class Item { Legacy, TQ510A, TQ510, Visa, Runtime, Application };
inline constexpr std::size_t kItemCount = 6;

struct ItemBox {
    std::string caption;
    bool checked = false;
    bool enabled = false;
    bool visible = true;
    int left = 40;
    int top = 0;
};

struct MainWindowState {
    std::array<ItemBox, kItemCount> boxes;
    std::string installerVersion, installedVersion, availableVersion;

    ItemBox& box(Item item) { return boxes[static_cast<std::size_t>(item)]; }
    const ItemBox& box(Item item) const { return boxes[static_cast<std::size_t>(item)]; }
    // The Install button is enabled when any box is checked, hidden or not.
    bool InstallEnabled() const;
};

// The boxes as the window is designed, before the selection: all unchecked,
// all but the legacy and run-time boxes shown, all disabled.
MainWindowState InitialWindowState();

// The start-up selection from the configuration and the detection results.
MainWindowState SelectItems(const LoadedConfiguration& loaded, const Detection& detection);

// A range of characters of a rich text; line breaks count two characters.
struct TextRange {
    std::size_t start = 0;
    std::size_t length = 0;
};

// A message for the hyperlink dialog: its caption, its lines joined by "\r\n",
// one bold range or one link range, and the paragraph indented by 10.
struct StartupMessage {
    std::string caption;
    std::string text;
    std::optional<TextRange> bold;
    std::optional<TextRange> link;  // underlined, blue, and opened on a click
    std::string linkTarget;
    std::optional<TextRange> indented;
};

// The message that ends the installer at start-up, if any: running from inside
// a zip archive, or a computer lacking what this kit cannot supply.
std::optional<StartupMessage> StartupDialog(const LoadedConfiguration& loaded,
                                            const Detection& detection);

}  // namespace installer
