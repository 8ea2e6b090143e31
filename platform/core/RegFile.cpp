// RegFile.cpp: the REGEDIT4 reader and writer of the settings store.
#include "platform/core/RegFile.h"

#include <algorithm>
#include <cstdio>
#include <utility>

namespace {

char lowerAscii(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool sameName(std::string_view a, std::string_view b)
{
    return a.size() == b.size()
        && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return lowerAscii(x) == lowerAscii(y); });
}

const TRootKey kRoots[] = {TRootKey::CurrentUser, TRootKey::LocalMachine};

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

std::string_view trim(std::string_view s)
{
    while (!s.empty() && isBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && (isBlank(s.back()) || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Walks the text line by line; hex data may pull continuation lines.
class Parser {
public:
    explicit Parser(std::string_view text) : text_(text) {}

    TRegTree Run()
    {
        if (text_.size() > kMaxRegFileBytes)
            throw TRegParseError(0, "the file is larger than a settings file can be");
        if (text_.substr(0, 3) == "\xEF\xBB\xBF")
            text_.remove_prefix(3);
        bool sawHeader = false;
        std::string_view line;
        while (NextLine(line)) {
            line = trim(line);
            if (line.empty() || line.front() == ';')
                continue;
            if (!sawHeader) {
                if (line != "REGEDIT4")
                    Fail("the first line is not REGEDIT4");
                sawHeader = true;
                continue;
            }
            if (line.front() == '[')
                Section(line);
            else if (line.front() == '"' || line.front() == '@')
                ValueLine(line);
            else
                Fail("a line that is neither a [key] nor a value");
        }
        if (!sawHeader)
            Fail("the file is empty");
        return std::move(tree_);
    }

private:
    bool NextLine(std::string_view& line)
    {
        if (pos_ >= text_.size())
            return false;
        const size_t end = text_.find('\n', pos_);
        const size_t stop = end == std::string_view::npos ? text_.size() : end;
        line = text_.substr(pos_, stop - pos_);
        pos_ = end == std::string_view::npos ? text_.size() : end + 1;
        ++lineNumber_;
        return true;
    }

    [[noreturn]] void Fail(const std::string& reason) const { throw TRegParseError(lineNumber_, reason); }

    void Section(std::string_view line)
    {
        if (line.back() != ']')
            Fail("a [key] line without its closing ]");
        std::string_view inner = line.substr(1, line.size() - 2);
        const bool remove = !inner.empty() && inner.front() == '-';
        if (remove)
            inner.remove_prefix(1);
        const size_t slash = inner.find('\\');
        const std::string_view rootName = inner.substr(0, slash);
        const std::string_view rest = slash == std::string_view::npos ? std::string_view() : inner.substr(slash + 1);
        const TRootKey* root = nullptr;
        for (const TRootKey& candidate : kRoots)
            if (sameName(rootName, RootKeyName(candidate)))
                root = &candidate;
        if (root == nullptr)
            Fail("unknown root key '" + std::string(rootName) + "'");
        if (remove) {
            tree_.Remove(*root, rest);
            current_ = nullptr;
        } else {
            current_ = &tree_.Create(*root, rest);
        }
        inSection_ = true;
    }

    static bool ReadQuoted(std::string_view& s, std::string& out)
    {
        // s starts at the opening quote; only \\ and \" are escapes, any other
        // backslash stands for itself.
        out.clear();
        size_t i = 1;
        while (i < s.size()) {
            const char c = s[i];
            if (c == '"') {
                s.remove_prefix(i + 1);
                return true;
            }
            if (c == '\\' && i + 1 < s.size() && (s[i + 1] == '\\' || s[i + 1] == '"')) {
                out.push_back(s[i + 1]);
                i += 2;
                continue;
            }
            out.push_back(c);
            ++i;
        }
        return false;
    }

    void ValueLine(std::string_view line)
    {
        if (!inSection_)
            Fail("a value before the first [key]");
        std::string name;
        std::string_view s = line;
        if (s.front() == '@') {
            s.remove_prefix(1);
        } else if (!ReadQuoted(s, name)) {
            Fail("a value name without its closing quote");
        }
        s = trim(s);
        if (s.empty() || s.front() != '=')
            Fail("a value name not followed by =");
        s = trim(s.substr(1));

        TRegRawValue value;
        if (!s.empty() && s.front() == '"') {
            std::string text;
            if (!ReadQuoted(s, text))
                Fail("a string without its closing quote");
            if (!trim(s).empty())
                Fail("text after the closing quote");
            value.type = RegType::String;
            value.data.assign(text.begin(), text.end());
        } else if (s == "-") {
            if (current_ != nullptr)
                current_->RemoveValue(name);
            return;
        } else if (s.substr(0, 6) == "dword:") {
            const std::string_view digits = trim(s.substr(6));
            if (digits.empty() || digits.size() > 8)
                Fail("a dword needs 1 to 8 hex digits");
            uint32_t v = 0;
            for (const char c : digits) {
                const int d = hexDigit(c);
                if (d < 0)
                    Fail("a dword needs 1 to 8 hex digits");
                v = (v << 4) | static_cast<uint32_t>(d);
            }
            value.type = RegType::Dword;
            value.data = {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v >> 16),
                static_cast<uint8_t>(v >> 24)};
        } else if (s.substr(0, 3) == "hex") {
            s.remove_prefix(3);
            value.type = RegType::Binary;
            if (!s.empty() && s.front() == '(') {
                const size_t close = s.find(')');
                const std::string_view digits = close == std::string_view::npos ? std::string_view() : s.substr(1, close - 1);
                if (digits.empty() || digits.size() > 8)
                    Fail("hex( ) needs a type number of 1 to 8 hex digits");
                uint32_t type = 0;
                for (const char c : digits) {
                    const int d = hexDigit(c);
                    if (d < 0)
                        Fail("hex( ) needs a type number of 1 to 8 hex digits");
                    type = (type << 4) | static_cast<uint32_t>(d);
                }
                value.type = type;
                s.remove_prefix(close + 1);
            }
            if (s.empty() || s.front() != ':')
                Fail("hex data without its colon");
            s.remove_prefix(1);
            value.data = HexBytes(s);
            // The string types carry their terminating NUL in the file.
            if ((value.type == RegType::String || value.type == RegType::ExpandString) && !value.data.empty()
                && value.data.back() == 0)
                value.data.pop_back();
        } else {
            Fail("a value that is neither \"text\", dword:, hex: nor hex(N):");
        }
        if (current_ != nullptr)
            current_->SetValue(name, std::move(value));
    }

    std::vector<uint8_t> HexBytes(std::string_view s)
    {
        std::vector<uint8_t> bytes;
        for (;;) {
            while (!s.empty() && isBlank(s.front()))
                s.remove_prefix(1);
            if (s.empty() || s.front() == '\r')
                return bytes;
            if (s.front() == '\\') {
                if (!trim(s.substr(1)).empty())
                    Fail("text after a line-continuing backslash");
                if (!NextLine(s))
                    Fail("hex data continues past the end of the file");
                continue;
            }
            const int high = hexDigit(s.front());
            if (high < 0)
                Fail("hex data with something that is not a hex byte");
            s.remove_prefix(1);
            int byte = high;
            if (!s.empty() && hexDigit(s.front()) >= 0) {
                byte = high * 16 + hexDigit(s.front());
                s.remove_prefix(1);
            }
            bytes.push_back(static_cast<uint8_t>(byte));
            while (!s.empty() && isBlank(s.front()))
                s.remove_prefix(1);
            if (!s.empty() && s.front() == ',')
                s.remove_prefix(1);
            else if (!s.empty() && s.front() != '\\' && s.front() != '\r')
                Fail("hex bytes must be separated by commas");
        }
    }

    std::string_view text_;
    size_t pos_ = 0;
    size_t lineNumber_ = 0;
    TRegTree tree_;
    TRegKeyNode* current_ = nullptr;  // none inside a [-key] section
    bool inSection_ = false;
};

void appendQuoted(std::string& out, std::string_view text)
{
    out.push_back('"');
    for (const char c : text) {
        if (c == '\\' || c == '"')
            out.push_back('\\');
        out.push_back(c);
    }
    out.push_back('"');
}

bool quotable(const std::vector<uint8_t>& text)
{
    return std::none_of(text.begin(), text.end(), [](uint8_t c) { return c == 0 || c == '\n' || c == '\r'; });
}

void appendHex(std::string& out, const char* prefix, const std::vector<uint8_t>& bytes, size_t column)
{
    // Wrapped like regedit's exports, so long values stay readable.
    constexpr size_t kWidth = 77;
    out += prefix;
    column += std::char_traits<char>::length(prefix);
    for (size_t i = 0; i < bytes.size(); ++i) {
        char hex[4];
        std::snprintf(hex, sizeof hex, "%02x", bytes[i]);
        if (column + 3 > kWidth) {
            out += "\\\n  ";
            column = 2;
        }
        out += hex;
        column += 2;
        if (i + 1 < bytes.size()) {
            out.push_back(',');
            ++column;
        }
    }
}

void appendValue(std::string& out, const std::string& name, const TRegRawValue& value)
{
    const size_t lineStart = out.size();
    if (name.empty())
        out.push_back('@');
    else
        appendQuoted(out, name);
    out.push_back('=');
    const size_t column = out.size() - lineStart;
    if (value.type == RegType::String && quotable(value.data)) {
        appendQuoted(out, std::string_view(reinterpret_cast<const char*>(value.data.data()), value.data.size()));
    } else if (value.type == RegType::Dword && value.data.size() == 4) {
        char text[16];
        const uint32_t v = value.data[0] | (uint32_t{value.data[1]} << 8) | (uint32_t{value.data[2]} << 16)
            | (uint32_t{value.data[3]} << 24);
        std::snprintf(text, sizeof text, "dword:%08x", v);
        out += text;
    } else if (value.type == RegType::Binary) {
        appendHex(out, "hex:", value.data, column);
    } else {
        std::vector<uint8_t> bytes = value.data;
        if (value.type == RegType::String || value.type == RegType::ExpandString)
            bytes.push_back(0);
        char prefix[24];
        std::snprintf(prefix, sizeof prefix, "hex(%x):", value.type);
        appendHex(out, prefix, bytes, column);
    }
    out.push_back('\n');
}

void appendKey(std::string& out, const std::string& path, const TRegKeyNode& node)
{
    out += '[' + path + "]\n";
    for (const auto& [name, value] : node.values)
        appendValue(out, name, value);
    out.push_back('\n');
    for (const auto& child : node.children)
        appendKey(out, path + '\\' + child->name, *child);
}

}  // namespace

TRegKeyNode* TRegKeyNode::Child(std::string_view childName) const
{
    for (const auto& child : children)
        if (sameName(child->name, childName))
            return child.get();
    return nullptr;
}

TRegKeyNode& TRegKeyNode::ChildOrCreate(std::string_view childName)
{
    if (TRegKeyNode* existing = Child(childName))
        return *existing;
    children.push_back(std::make_unique<TRegKeyNode>());
    children.back()->name = std::string(childName);
    return *children.back();
}

bool TRegKeyNode::RemoveChild(std::string_view childName)
{
    const auto it = std::find_if(children.begin(), children.end(),
        [&](const std::unique_ptr<TRegKeyNode>& child) { return sameName(child->name, childName); });
    if (it == children.end())
        return false;
    children.erase(it);
    return true;
}

const TRegRawValue* TRegKeyNode::Value(std::string_view valueName) const
{
    for (const auto& [valueKey, value] : values)
        if (sameName(valueKey, valueName))
            return &value;
    return nullptr;
}

void TRegKeyNode::SetValue(std::string_view valueName, TRegRawValue value)
{
    for (auto& [valueKey, existing] : values) {
        if (sameName(valueKey, valueName)) {
            existing = std::move(value);
            return;
        }
    }
    values.emplace_back(std::string(valueName), std::move(value));
}

bool TRegKeyNode::RemoveValue(std::string_view valueName)
{
    const auto it = std::find_if(values.begin(), values.end(), [&](const auto& entry) { return sameName(entry.first, valueName); });
    if (it == values.end())
        return false;
    values.erase(it);
    return true;
}

namespace {
std::unique_ptr<TRegKeyNode> cloneNode(const TRegKeyNode& node)
{
    auto copy = std::make_unique<TRegKeyNode>();
    copy->name = node.name;
    copy->values = node.values;
    for (const auto& child : node.children)
        copy->children.push_back(cloneNode(*child));
    return copy;
}
}  // namespace

TRegTree::TRegTree() : top_(std::make_unique<TRegKeyNode>())
{
    // The predefined roots always exist, as in the registry.
    for (const TRootKey root : kRoots)
        top_->ChildOrCreate(RootKeyName(root));
}

TRegTree::TRegTree(const TRegTree& other) : top_(cloneNode(*other.top_)) {}

TRegTree& TRegTree::operator=(const TRegTree& other)
{
    if (this != &other)
        top_ = cloneNode(*other.top_);
    return *this;
}

TRegKeyNode* TRegTree::Find(TRootKey root, std::string_view path) const
{
    TRegKeyNode* node = top_->Child(RootKeyName(root));
    for (const std::string_view name : SplitKeyPath(path)) {
        if (node == nullptr)
            return nullptr;
        node = node->Child(name);
    }
    return node;
}

TRegKeyNode& TRegTree::Create(TRootKey root, std::string_view path)
{
    TRegKeyNode* node = &top_->ChildOrCreate(RootKeyName(root));
    for (const std::string_view name : SplitKeyPath(path))
        node = &node->ChildOrCreate(name);
    return *node;
}

bool TRegTree::Remove(TRootKey root, std::string_view path)
{
    const auto names = SplitKeyPath(path);
    if (names.empty())
        return false;
    TRegKeyNode* parent = top_->Child(RootKeyName(root));
    for (size_t i = 0; i + 1 < names.size() && parent != nullptr; ++i)
        parent = parent->Child(names[i]);
    return parent != nullptr && parent->RemoveChild(names.back());
}

TRegParseError::TRegParseError(size_t line, const std::string& reason)
    : std::runtime_error(line > 0 ? "line " + std::to_string(line) + ": " + reason : reason), line_(line)
{
}

TRegTree ParseRegFile(std::string_view text)
{
    return Parser(text).Run();
}

std::string SerializeRegFile(const TRegTree& tree)
{
    std::string out = "REGEDIT4\n\n";
    for (const TRootKey root : kRoots) {
        const TRegKeyNode* node = tree.Top().Child(RootKeyName(root));
        if (node == nullptr)
            continue;
        if (!node->values.empty()) {
            out += '[' + std::string(RootKeyName(root)) + "]\n";
            for (const auto& [name, value] : node->values)
                appendValue(out, name, value);
            out.push_back('\n');
        }
        for (const auto& child : node->children)
            appendKey(out, std::string(RootKeyName(root)) + '\\' + child->name, *child);
    }
    return out;
}

std::vector<std::string_view> SplitKeyPath(std::string_view path)
{
    std::vector<std::string_view> names;
    size_t start = 0;
    while (start <= path.size()) {
        const size_t end = std::min(path.find('\\', start), path.size());
        if (end > start)
            names.push_back(path.substr(start, end - start));
        start = end + 1;
    }
    return names;
}

bool IsStorableKeyName(std::string_view name)
{
    return !name.empty() && std::none_of(name.begin(), name.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20; });
}

bool IsStorableValueName(std::string_view name)
{
    return std::none_of(name.begin(), name.end(), [](char c) { return c == '\0' || c == '\n' || c == '\r'; });
}

const char* RootKeyName(TRootKey root)
{
    return root == TRootKey::LocalMachine ? "HKEY_LOCAL_MACHINE" : "HKEY_CURRENT_USER";
}
