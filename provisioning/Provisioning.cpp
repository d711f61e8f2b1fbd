#include "provisioning/Provisioning.h"

#include "cab/AsciiCase.h"
#include "cab/Streams.h"
#include "xml/XMLPars.h"
#include "xml/XMLScan.h"

#include <algorithm>
#include <exception>
#include <unordered_map>
#include <unordered_set>

namespace provisioning {

namespace {

std::string LowerText(std::string_view text) {
    return LowerCaseAscii(std::string(text));
}

// Notes stop growing here, so that a document of ten thousand stray closing tags keeps a
// readable note and linear memory.
constexpr size_t kMaxNoteLength = 400;

void AddNote(TNode& node, std::string_view note) {
    if (node.Note.size() >= kMaxNoteLength) return;
    if (!node.Note.empty()) node.Note += "; ";
    node.Note += note.substr(0, kMaxNoteLength);
    if (node.Note.size() >= kMaxNoteLength) node.Note += " (more notes left out)";
}

// A tag name as notes quote it: a name of megabytes must not be copied into every note.
std::string Quoted(std::string_view name) {
    constexpr size_t kMax = 64;
    return name.size() <= kMax ? std::string(name) : std::string(name.substr(0, kMax)) + "...";
}

TNodeKind KindOf(std::string_view tag) {
    if (SameTextAscii(tag, "characteristic")) return TNodeKind::Characteristic;
    if (SameTextAscii(tag, "parm")) return TNodeKind::Parm;
    if (SameTextAscii(tag, "characteristic-query")) return TNodeKind::CharacteristicQuery;
    if (SameTextAscii(tag, "parm-query")) return TNodeKind::ParmQuery;
    if (SameTextAscii(tag, "nocharacteristic")) return TNodeKind::NoCharacteristic;
    if (SameTextAscii(tag, "noparm")) return TNodeKind::NoParm;
    if (SameTextAscii(tag, "wap-provisioningdoc")) return TNodeKind::Document;
    return TNodeKind::Element;
}

// Parms and their queries and removals hold nothing: an open one is not waited for.
bool IsLeaf(TNodeKind kind) {
    return kind == TNodeKind::Parm || kind == TNodeKind::ParmQuery || kind == TNodeKind::NoParm;
}

// The attribute shown as the node's name: "type" for characteristics, "name" for parms.
std::string_view NameKey(TNodeKind kind) {
    switch (kind) {
    case TNodeKind::Characteristic:
    case TNodeKind::CharacteristicQuery:
    case TNodeKind::NoCharacteristic:
        return "type";
    case TNodeKind::Parm:
    case TNodeKind::ParmQuery:
    case TNodeKind::NoParm:
        return "name";
    default:
        return {};
    }
}

// How many attributes of a tag text the parser dropped because they begin with "=": it walks
// the text the way the parser splits it. The parser could tell us through its error event, but
// that copies the whole tag for every such attribute, which a tag of thousands would make
// quadratic.
int NamelessAttributes(std::string_view text) {
    const char* t = text.data();
    const auto n = static_cast<int64_t>(text.size());
    // Only a "=" right after whitespace can start an attribute.
    bool candidate = false;
    for (int64_t i = 1; i < n && !candidate; ++i)
        candidate = t[i] == '=' && IsXMLSpace(t[i - 1]);
    if (!candidate) return 0;
    int count = 0;
    int64_t c = FindSpaceOutsideQuotes(t, n, 0);
    while (c >= 0) {
        const int64_t k = SkipSpaces(t, n, c + 1);
        if (k < 0) break;
        const int64_t e = FindCharOutsideQuotes('=', t, n, k);
        if (e < 0) break;
        if (e == k) ++count;
        int64_t v = SkipSpaces(t, n, e + 1);
        if (v < 0) v = n;
        const int64_t w = FindSpaceOutsideQuotes(t, n, v);
        if (w < 0) break;
        c = w;
    }
    return count;
}

// The five predefined entities, once: "&amp;lt;" becomes "&lt;", not "<".
std::string DecodeEntities(std::string_view text) {
    static constexpr std::pair<std::string_view, char> kEntities[] = {
        {"&lt;", '<'}, {"&gt;", '>'}, {"&amp;", '&'}, {"&quot;", '"'}, {"&apos;", '\''}};
    if (text.find('&') == std::string_view::npos) return std::string(text);
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        bool replaced = false;
        if (text[i] == '&') {
            for (const auto& [entity, ch] : kEntities) {
                if (text.size() - i >= entity.size() &&
                    SameTextAscii(text.substr(i, entity.size()), entity)) {
                    out += ch;
                    i += entity.size() - 1;
                    replaced = true;
                    break;
                }
            }
        }
        if (!replaced) out += text[i];
    }
    return out;
}

bool Contains(std::string_view text, std::string_view pattern) {
    return FindText(pattern, text.data(), static_cast<int64_t>(text.size()), 0) >= 0;
}

// Names and values are kept as the document means them, entities decoded; rawValue gets the
// value as written, where a nested document is looked for.
void ReadAttributes(const TXMLTag& tag, TNode& node, std::string_view& rawValue) {
    const std::string_view nameKey = NameKey(node.Kind);
    const bool hasValue = IsLeaf(node.Kind);
    bool haveName = false;
    bool haveValue = false;
    size_t written = 0;
    for (const TXMLParam& param : tag.Params) {
        const std::string_view name = param.Name.View();
        // The parser's reading of " />": not an attribute anyone wrote.
        if (name == "/") continue;
        ++written;
        const std::string_view value = param.Value.View();
        if (!haveName && !nameKey.empty() && SameTextAscii(name, nameKey)) {
            node.Name = DecodeEntities(value);
            haveName = true;
        } else if (hasValue && !haveValue && SameTextAscii(name, "value")) {
            rawValue = value;
            node.Value = DecodeEntities(value);
            haveValue = true;
        } else {
            node.Attributes.push_back({std::string(name), DecodeEntities(value)});
        }
    }
    if (written < 2) return;
    // A repeated attribute: the first one counts, as for the setup reader.
    std::unordered_set<std::string> seen;
    std::unordered_set<std::string> named; // each repeated name is listed once
    seen.reserve(written);
    std::string repeated;
    for (const TXMLParam& param : tag.Params) {
        const std::string_view name = param.Name.View();
        if (name == "/") continue;
        std::string key = LowerText(name);
        if (seen.insert(key).second || repeated.size() >= kMaxNoteLength) continue;
        if (named.insert(std::move(key)).second) {
            if (!repeated.empty()) repeated += ", ";
            repeated += name;
        }
    }
    if (!repeated.empty())
        AddNote(node, "attribute written more than once (the first counts): " + repeated);
}

// The tag at item i, or null for any other item. Parsers that keep their items compact split
// a tag when asked (TagAt); others hold tag objects in Items. The tag is used before the next
// one is asked for.
template <class Parser> const TXMLTag* TagOf(const Parser& parser, size_t i) {
    if constexpr (requires { parser.TagAt(i); })
        return parser.TagAt(i);
    else
        return dynamic_cast<const TXMLTag*>(parser.Items[i].get());
}

// The elements of one document that are open while it is read.
struct TOpenElements {
    std::vector<uint32_t> Stack;
    std::unordered_map<std::string, int> ByTag; // lower-cased tag name -> nodes open
    int64_t Leaf = -1;                          // an open parm, whose own closing tag is let pass
};

class TBuilder {
  public:
    explicit TBuilder(TProvisioningTree& tree) : FTree(tree) {}

    // Reads text as the content of node parent; nesting counts the documents around it.
    void Build(std::vector<uint8_t> text, uint32_t parent, int nesting);

  private:
    TProvisioningTree& FTree;
    bool FFull = false; // kMaxNodes were read: nothing more is

    uint32_t Append(TNode node) {
        FTree.Nodes.push_back(std::move(node));
        return static_cast<uint32_t>(FTree.Nodes.size() - 1);
    }
    void Close(TOpenElements& open, const std::string& key);
    void ReadClosingTag(std::string_view closing, TOpenElements& open);
    // The node a tag opens; false once the tree holds kMaxNodes.
    bool ReadOpeningTag(const TXMLTag& tag, TOpenElements& open, int nesting);
    // The notes on what the document left open or unread at its end, then closes it all.
    void Finish(const TXMLParser& parser, TOpenElements& open);
};

void TBuilder::Close(TOpenElements& open, const std::string& key) {
    const uint32_t top = open.Stack.back();
    open.Stack.pop_back();
    --open.ByTag[key];
    FTree.Nodes[top].End = static_cast<uint32_t>(FTree.Nodes.size());
}

void TBuilder::ReadClosingTag(std::string_view closing, TOpenElements& open) {
    std::vector<TNode>& nodes = FTree.Nodes;
    const std::string key = LowerText(closing);
    const auto it = open.ByTag.find(key);
    if (it == open.ByTag.end() || it->second <= 0) {
        if (open.Leaf >= 0 && SameTextAscii(nodes[static_cast<size_t>(open.Leaf)].Tag, closing)) {
            open.Leaf = -1;
            return;
        }
        AddNote(nodes[open.Stack.back()],
                "closing tag </" + Quoted(closing) + "> matches no open tag");
        return;
    }
    // Everything opened after the matching tag was never closed.
    const std::string endedBy = "not closed: ended by </" + Quoted(closing) + ">";
    while (!SameTextAscii(nodes[open.Stack.back()].Tag, closing)) {
        AddNote(nodes[open.Stack.back()], endedBy);
        Close(open, LowerText(nodes[open.Stack.back()].Tag));
    }
    Close(open, key);
    open.Leaf = -1;
}

bool TBuilder::ReadOpeningTag(const TXMLTag& tag, TOpenElements& open, int nesting) {
    std::vector<TNode>& nodes = FTree.Nodes;
    if (nodes.size() >= kMaxNodes) {
        FFull = true;
        AddNote(nodes[0], "the document holds more than " + std::to_string(kMaxNodes) +
                              " elements; the rest are not read");
        return false;
    }
    const std::string_view tagName = tag.NameView();
    TNode node;
    node.Kind = KindOf(tagName);
    node.Tag.assign(tagName);
    node.Parent = static_cast<int32_t>(open.Stack.back());
    node.Depth = nodes[open.Stack.back()].Depth + 1;
    if (const int nameless = NamelessAttributes(tag.Text.View()); nameless > 0)
        AddNote(node, std::to_string(nameless) + " attribute(s) without a name left out");
    std::string_view value; // in the parser's buffer, which outlives this call
    ReadAttributes(tag, node, value);
    const uint32_t index = Append(std::move(node));
    nodes[index].End = index + 1;
    open.Leaf = -1;
    if (!IsLeaf(nodes[index].Kind)) {
        if (tag.IsOpen) {
            open.Stack.push_back(index);
            ++open.ByTag[LowerText(tagName)];
        }
        return true;
    }
    if (tag.IsOpen) open.Leaf = index;
    const bool raw = Contains(value, "<wap-provisioningdoc");
    if (!raw && !Contains(value, "&lt;wap-provisioningdoc")) return true;
    if (nesting + 1 >= kMaxNestedDocuments) {
        AddNote(nodes[index], "a provisioning document nested this deep is not read");
        return true;
    }
    // The value's text is its own copy: reading it appends to the node list.
    std::vector<uint8_t> nested;
    if (raw) {
        nested.assign(value.begin(), value.end());
    } else {
        const std::string decoded = DecodeEntities(value);
        nested.assign(decoded.begin(), decoded.end());
    }
    Build(std::move(nested), index, nesting + 1);
    nodes[index].End = static_cast<uint32_t>(nodes.size());
    return true;
}

void TBuilder::Finish(const TXMLParser& parser, TOpenElements& open) {
    std::vector<TNode>& nodes = FTree.Nodes;
    if (FFull) {
        // Left open by the stop, not by the document.
        while (open.Stack.size() > 1)
            Close(open, LowerText(nodes[open.Stack.back()].Tag));
        return;
    }
    // The parser stops at a "<" whose tag never ends (ItemStart stays on it) or at a script or
    // style element that is never closed (ItemStart -1); otherwise ItemStart is the end.
    const auto size = static_cast<int64_t>(parser.Buffer.size());
    if (size > 0 && parser.ItemStart < 0)
        AddNote(nodes[open.Stack.back()], "a script or style element is never closed; what "
                                          "follows it cannot be read");
    else if (size > 0 && parser.ItemStart != size)
        AddNote(nodes[open.Stack.back()], "the document breaks off in a tag that never ends "
                                          "(\"> not found\"); what follows it cannot be read");
    while (open.Stack.size() > 1) {
        AddNote(nodes[open.Stack.back()], "not closed before the end of the document");
        Close(open, LowerText(nodes[open.Stack.back()].Tag));
    }
}

void TBuilder::Build(std::vector<uint8_t> text, uint32_t parent, int nesting) {
    TXMLParser parser;
    parser.ProbeMode = 2; // every document is markup here, whatever it contains
    try {
        parser.Input = TMemoryStream(std::move(text));
        parser.Parse();
        // The items point into the parser's own copy: the document itself is not needed again.
        parser.Input = TMemoryStream();
    } catch (const std::exception& e) {
        // Too large a document, or no memory for it: said on the node it belongs to.
        AddNote(FTree.Nodes[parent], std::string("the document cannot be read: ") + e.what());
        return;
    }
    TOpenElements open;
    open.Stack.push_back(parent);
    for (size_t i = 0; i < parser.Items.size(); ++i) {
        const TXMLTag* tag = TagOf(parser, i);
        if (!tag) continue;
        const std::string_view tagName = tag->NameView();
        if (tagName.empty() || tagName[0] == '?' || tagName[0] == '!') continue;
        if (tagName[0] == '/')
            ReadClosingTag(tagName.substr(1), open);
        else if (FFull || !ReadOpeningTag(*tag, open, nesting))
            break;
    }
    Finish(parser, open);
}

} // namespace

TProvisioningTree ReadProvisioning(std::string_view document) {
    return ReadProvisioning(std::vector<uint8_t>(document.begin(), document.end()));
}

TProvisioningTree ReadProvisioning(std::vector<uint8_t> document) {
    TProvisioningTree tree;
    tree.Nodes.emplace_back();
    TBuilder(tree).Build(std::move(document), 0, 0);
    tree.Nodes[0].End = static_cast<uint32_t>(tree.Nodes.size());
    return tree;
}

TProvisioningSummary Summarize(const TProvisioningTree& tree) {
    TProvisioningSummary s;
    for (const TNode& node : tree.Nodes) {
        if (!node.Note.empty()) ++s.Notes;
        switch (node.Kind) {
        case TNodeKind::Characteristic:
            ++s.Characteristics;
            break;
        case TNodeKind::Parm: {
            ++s.Parms;
            const TNode& parent = tree.Nodes[static_cast<size_t>(node.Parent)];
            if (parent.Kind == TNodeKind::Characteristic &&
                SameTextAscii(parent.Name, "SecurityPolicy"))
                ++s.SecurityPolicies;
            if (SameTextAscii(node.Name, "EncodedCertificate")) ++s.Certificates;
            break;
        }
        case TNodeKind::CharacteristicQuery:
        case TNodeKind::ParmQuery:
            ++s.Queries;
            break;
        case TNodeKind::NoCharacteristic:
        case TNodeKind::NoParm:
            ++s.Removals;
            break;
        default:
            break;
        }
    }
    return s;
}

} // namespace provisioning
