// Reading compiled Win32 resources: the classic .res file that windres
// writes, and the dialog templates and string tables inside it. The
// simulated Windows shows its screens from these, and the tests check them,
// so both see exactly what the executables embed.
#ifndef TREVASK_SIM_RESOURCES_H
#define TREVASK_SIM_RESOURCES_H

#include <cstdint>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/windows_ops.h"

namespace sim {

// Predefined control classes, by the atoms a dialog template names them with
constexpr uint16_t BUTTON_CLASS = 0x0080;
constexpr uint16_t STATIC_CLASS = 0x0082;

struct ResourceFormatError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// A resource type, name or class: either a 16-bit ordinal or a string.
struct NameOrId {
    bool isId = true;
    uint16_t id = 0;
    std::u16string name;

    bool operator==(const NameOrId&) const = default;
    std::string Describe() const;
};

struct ResourceEntry {
    NameOrId type;
    NameOrId name;
    uint16_t language = 0;
    std::vector<uint8_t> data;
};

struct DialogControl {
    bool IsButton() const;
    bool IsPushButton() const;  // BS_PUSHBUTTON or BS_DEFPUSHBUTTON
    bool TakesInput() const;    // visible and enabled
    bool CanTakeFocus() const;  // a tab stop that takes input

    uint32_t style = 0;
    uint32_t exStyle = 0;
    int16_t x = 0, y = 0, cx = 0, cy = 0;
    uint16_t id = 0;
    NameOrId windowClass;
    std::string text;
    std::vector<uint8_t> creationData;
};

struct DialogTemplate {
    bool extended = false;  // DLGTEMPLATEEX; nothing below is read then
    uint32_t style = 0;
    uint32_t exStyle = 0;
    int16_t x = 0, y = 0, cx = 0, cy = 0;
    NameOrId menu;          // id 0: no menu
    NameOrId windowClass;   // id 0: the default dialog class
    std::string title;
    uint16_t pointSize = 0; // with DS_SETFONT only
    std::string font;
    std::vector<DialogControl> controls;  // in template order, which is tab order

    const DialogControl* Control(int id) const;
    // The button Enter activates: the BS_DEFPUSHBUTTON one, else IDOK.
    int DefaultButtonId() const;
};

// Whole-file parsers; they throw ResourceFormatError on anything malformed.
std::vector<ResourceEntry> ParseResFile(const std::vector<uint8_t>& bytes);
DialogTemplate ParseDialogTemplate(const std::vector<uint8_t>& bytes);
// The 16 counted strings of string block blockId, keyed by message ID; empty slots are left out.
std::map<int, std::u16string> ParseStringBlock(int blockId, const std::vector<uint8_t>& bytes);

// UTF-16 to 8-bit text in code page 1252's ASCII range; other characters become '?'.
std::string ToAnsi(const std::u16string& text);

class ResourceFile {
public:
    static ResourceFile Load(const std::string& path);
    explicit ResourceFile(std::vector<ResourceEntry> entries) : entries_(std::move(entries)) {}

    const std::vector<ResourceEntry>& Entries() const { return entries_; }
    // type as FindResourceA takes it (RT_DIALOG), a numeric name as id.
    const ResourceEntry* Find(LPCSTR type, WORD id) const;
    std::optional<DialogTemplate> Dialog(int id) const;
    std::optional<std::string> String(int id) const;

private:
    std::vector<ResourceEntry> entries_;
};

}  // namespace sim

#endif
