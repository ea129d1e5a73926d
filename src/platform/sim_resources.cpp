#include "platform/sim_resources.h"

#include <fstream>
#include <iterator>

namespace sim {
namespace {

// Little-endian reads that never go past the end of the bytes.
class Reader {
public:
    Reader(const std::vector<uint8_t>& bytes, size_t begin, size_t end, const char* what)
        : bytes_(bytes), pos_(begin), begin_(begin), end_(end), what_(what) {}

    size_t Offset() const { return pos_ - begin_; }

    uint16_t Word()
    {
        Need(2);
        uint16_t value = uint16_t(bytes_[pos_] | bytes_[pos_ + 1] << 8);
        pos_ += 2;
        return value;
    }
    uint32_t Dword()
    {
        uint32_t low = Word();
        return low | uint32_t(Word()) << 16;
    }
    int16_t Short() { return int16_t(Word()); }

    std::vector<uint8_t> Bytes(size_t count)
    {
        Need(count);
        std::vector<uint8_t> out(bytes_.begin() + long(pos_), bytes_.begin() + long(pos_ + count));
        pos_ += count;
        return out;
    }
    std::u16string String()
    {
        std::u16string out;
        for (uint16_t c; (c = Word()) != 0;)
            out.push_back(char16_t(c));
        return out;
    }
    NameOrId NameOrOrdinal()
    {
        NameOrId out;
        uint16_t first = Word();
        if (first == 0xFFFF) {
            out.id = Word();
        } else if (first != 0) {
            out.isId = false;
            out.name.push_back(char16_t(first));
            out.name += String();
        }
        return out;
    }
    // Alignment counts from the start of the structure being read.
    void AlignDword()
    {
        size_t pad = (4 - Offset() % 4) % 4;
        Need(pad);
        pos_ += pad;
    }
    void Need(size_t count) const
    {
        if (count > end_ - pos_)
            throw ResourceFormatError(std::string(what_) + ": truncated at byte " + std::to_string(Offset()));
    }

private:
    const std::vector<uint8_t>& bytes_;
    size_t pos_, begin_, end_;
    const char* what_;
};

}  // namespace

std::string NameOrId::Describe() const
{
    return isId ? "#" + std::to_string(id) : "\"" + ToAnsi(name) + "\"";
}

std::string ToAnsi(const std::u16string& text)
{
    std::string out;
    out.reserve(text.size());
    for (char16_t c : text)
        out.push_back(c < 0x80 ? char(c) : '?');
    return out;
}

std::vector<ResourceEntry> ParseResFile(const std::vector<uint8_t>& bytes)
{
    std::vector<ResourceEntry> entries;
    size_t pos = 0;
    while (pos < bytes.size()) {
        Reader header(bytes, pos, bytes.size(), ".res entry header");
        uint32_t dataSize = header.Dword();
        uint32_t headerSize = header.Dword();
        if (headerSize < 8 || headerSize > bytes.size() - pos)
            throw ResourceFormatError(".res entry at byte " + std::to_string(pos) + ": bad header size");
        Reader fields(bytes, pos + 8, pos + headerSize, ".res entry header");
        ResourceEntry entry;
        entry.type = fields.NameOrOrdinal();
        entry.name = fields.NameOrOrdinal();
        fields.AlignDword();
        fields.Dword();  // data version
        fields.Word();  // memory flags
        entry.language = fields.Word();
        fields.Dword();  // version
        fields.Dword();  // characteristics

        Reader data(bytes, pos + headerSize, bytes.size(), ".res entry data");
        entry.data = data.Bytes(dataSize);
        // The file opens with an empty entry that only marks the format.
        if (!(entry.type.isId && entry.type.id == 0 && dataSize == 0))
            entries.push_back(std::move(entry));

        size_t next = pos + headerSize + dataSize;
        pos = next + (4 - next % 4) % 4;
    }
    return entries;
}

DialogTemplate ParseDialogTemplate(const std::vector<uint8_t>& bytes)
{
    DialogTemplate dialog;
    Reader in(bytes, 0, bytes.size(), "dialog template");
    if (bytes.size() >= 4 && bytes[0] == 1 && bytes[1] == 0 && bytes[2] == 0xFF && bytes[3] == 0xFF) {
        dialog.extended = true;
        return dialog;
    }
    dialog.style = in.Dword();
    dialog.exStyle = in.Dword();
    uint16_t count = in.Word();
    dialog.x = in.Short();
    dialog.y = in.Short();
    dialog.cx = in.Short();
    dialog.cy = in.Short();
    dialog.menu = in.NameOrOrdinal();
    dialog.windowClass = in.NameOrOrdinal();
    dialog.title = ToAnsi(in.String());
    if (dialog.style & DS_SETFONT) {
        dialog.pointSize = in.Word();
        dialog.font = ToAnsi(in.String());
    }
    for (uint16_t i = 0; i < count; i++) {
        in.AlignDword();
        DialogControl control;
        control.style = in.Dword();
        control.exStyle = in.Dword();
        control.x = in.Short();
        control.y = in.Short();
        control.cx = in.Short();
        control.cy = in.Short();
        control.id = in.Word();
        control.windowClass = in.NameOrOrdinal();
        NameOrId text = in.NameOrOrdinal();
        control.text = text.isId ? std::string() : ToAnsi(text.name);
        control.creationData = in.Bytes(in.Word());
        dialog.controls.push_back(std::move(control));
    }
    return dialog;
}

std::map<int, std::u16string> ParseStringBlock(int blockId, const std::vector<uint8_t>& bytes)
{
    std::map<int, std::u16string> strings;
    Reader in(bytes, 0, bytes.size(), "string block");
    for (int slot = 0; slot < 16; slot++) {
        uint16_t length = in.Word();
        std::u16string text;
        for (uint16_t i = 0; i < length; i++)
            text.push_back(char16_t(in.Word()));
        if (length)
            strings[(blockId - 1) * 16 + slot] = text;
    }
    return strings;
}

bool DialogControl::IsButton() const { return windowClass == NameOrId{true, BUTTON_CLASS, {}}; }

bool DialogControl::IsPushButton() const { return IsButton() && (style & BS_TYPEMASK) <= BS_DEFPUSHBUTTON; }

bool DialogControl::TakesInput() const { return (style & WS_VISIBLE) && !(style & WS_DISABLED); }
bool DialogControl::CanTakeFocus() const { return (style & WS_TABSTOP) && TakesInput(); }

const DialogControl* DialogTemplate::Control(int id) const
{
    for (const DialogControl& control : controls)
        if (control.id == id)
            return &control;
    return nullptr;
}

int DialogTemplate::DefaultButtonId() const
{
    for (const DialogControl& control : controls)
        if (control.IsButton() && (control.style & BS_TYPEMASK) == BS_DEFPUSHBUTTON)
            return control.id;
    return IDOK;
}

ResourceFile ResourceFile::Load(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    if (!file)
        throw ResourceFormatError("cannot read " + path);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    return ResourceFile(ParseResFile(bytes));
}

const ResourceEntry* ResourceFile::Find(LPCSTR type, WORD id) const
{
    for (const ResourceEntry& entry : entries_)
        if (entry.type == NameOrId{true, LOWORD(type), {}} && entry.name == NameOrId{true, id, {}})
            return &entry;
    return nullptr;
}

std::optional<DialogTemplate> ResourceFile::Dialog(int id) const
{
    if (id < 0 || id > 0xFFFF)
        return std::nullopt;
    const ResourceEntry* entry = Find(RT_DIALOG, WORD(id));
    if (!entry)
        return std::nullopt;
    return ParseDialogTemplate(entry->data);
}

std::optional<std::string> ResourceFile::String(int id) const
{
    if (id < 0 || id > 0xFFFF)
        return std::nullopt;
    int block = id / 16 + 1;
    const ResourceEntry* entry = Find(RT_STRING, WORD(block));
    if (!entry)
        return std::nullopt;
    auto strings = ParseStringBlock(block, entry->data);
    auto found = strings.find(id);
    if (found == strings.end())
        return std::nullopt;
    return ToAnsi(found->second);
}

}  // namespace sim
