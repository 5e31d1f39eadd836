#include "axml.h"

#include <vector>
#include "cursor.h"
#include "respool.h"

namespace apk {

namespace {

// Chunk types and layouts of androidfw's ResourceTypes.h (ResXMLTree_*).
constexpr uint16_t kXmlChunk = 0x0003;
constexpr uint16_t kPoolChunk = 0x0001;
constexpr uint16_t kResourceMapChunk = 0x0180;
constexpr uint16_t kStartElement = 0x0102;
constexpr uint16_t kEndElement = 0x0103;
constexpr uint32_t kChunkHeaderSize = 8;
constexpr uint32_t kAttributeSize = 20;    // ns, name, rawValue, Res_value
constexpr uint32_t kNoString = 0xFFFFFFFF;
// Res_value data types.
constexpr uint8_t kTypeReference = 0x01;
constexpr uint8_t kTypeString = 0x03;
constexpr uint8_t kTypeDynamicReference = 0x07;
constexpr uint8_t kTypeBoolean = 0x12;
// Framework attribute ids (android.R.attr).
constexpr uint32_t kAttrLabel = 0x01010001;
constexpr uint32_t kAttrIcon = 0x01010002;
constexpr uint32_t kAttrName = 0x01010003;
constexpr uint32_t kAttrEnabled = 0x0101000e;
constexpr uint32_t kAttrRoundIcon = 0x0101052c;
constexpr uint32_t kAttrTargetActivity = 0x01010202;
// Manifests nest a handful of levels; deeper is damage.
constexpr size_t kMaxDepth = 64;
// Activities remembered for the aliases that name them; big apps declare a
// few hundred.
constexpr size_t kMaxActivities = 10000;

struct Attribute {
    uint32_t id = 0;        // resource id from the map, 0 when none
    std::string name;       // as written, for attributes without an id
    uint32_t raw = kNoString;
    uint8_t type = 0;
    uint32_t data = 0;
};

struct Element {
    std::string name;
    std::vector<Attribute> attributes;

    const Attribute* ById(uint32_t id) const {
        for (const Attribute& a : attributes)
            if (a.id == id) return &a;
        return nullptr;
    }
};

// One walk over the tree, remembering what the launcher needs.
class ManifestWalk {
public:
    explicit ManifestWalk(ManifestInfo* info) : info_(info) {}

    bool Run(Cursor xml);

private:
    bool ReadElement(Cursor chunk, Element* e) const;
    void Start(const Element& e);
    void End(const std::string& name);
    bool StringOf(const Attribute& a, std::u16string* s) const;
    ManifestComponent ComponentOf(const Element& e) const;
    std::string ClassName(const Element& e, uint32_t attr) const;
    void StartComponent(const Element& e);
    const std::string& Parent() const { return stack_.empty() ? empty_ : stack_.back(); }

    ManifestInfo* info_;
    StringPool pool_;
    std::vector<uint32_t> map_;
    std::vector<std::string> stack_;
    std::string empty_;
    bool sawApplication_ = false;
    // The activity being read and its current intent filter.
    bool inComponent_ = false;
    bool componentEnabled_ = true;
    bool componentLaunches_ = false;
    ManifestComponent component_;
    std::string componentName_;
    // Activities read so far, by full class name: an alias starts as a copy
    // of its target.
    std::vector<std::pair<std::string, ManifestComponent>> activities_;
    bool filterMain_ = false, filterLauncher_ = false;
};

bool ManifestWalk::Run(Cursor xml) {
    if (xml.U16() != kXmlChunk) return false;
    uint16_t headerSize = xml.U16();
    uint32_t size = xml.U32();
    if (!xml.ok() || headerSize < kChunkHeaderSize || size > xml.size() || headerSize > size) return false;
    Cursor body = xml.Range(headerSize, size - headerSize);
    while (body.left() >= kChunkHeaderSize) {
        size_t at = body.pos();
        uint16_t type = body.U16();
        body.U16();
        uint32_t chunkSize = body.U32();
        if (chunkSize < kChunkHeaderSize || chunkSize > body.size() - at) return sawApplication_;
        Cursor chunk = body.Range(at, chunkSize);
        body.Seek(at + chunkSize);
        if (type == kPoolChunk) {
            if (!pool_.Read(chunk)) return false;
        } else if (type == kResourceMapChunk) {
            uint16_t mapHeader = chunk.Range(2, 2).U16();
            if (mapHeader < kChunkHeaderSize || mapHeader > chunkSize) return false;
            Cursor ids = chunk.Range(mapHeader, chunkSize - mapHeader);
            map_.clear();
            while (ids.left() >= 4) map_.push_back(ids.U32());
        } else if (type == kStartElement) {
            Element e;
            if (!ReadElement(chunk, &e) || stack_.size() >= kMaxDepth) return sawApplication_;
            Start(e);
            stack_.push_back(e.name);
        } else if (type == kEndElement) {
            if (stack_.empty()) return sawApplication_;
            std::string name = stack_.back();
            stack_.pop_back();
            End(name);
        }
        // Namespaces, text and chunk types we do not know: skipped by size.
    }
    return sawApplication_;
}

bool ManifestWalk::ReadElement(Cursor chunk, Element* e) const {
    chunk.Skip(2);
    uint16_t headerSize = chunk.U16();
    chunk.Seek(headerSize);
    Cursor ext = chunk.Sub(chunk.left());
    ext.U32();  // namespace
    uint32_t name = ext.U32();
    // ResXMLTree_attrExt: ns, name, attributeStart, attributeSize, attributeCount, ...
    uint16_t attrStart = ext.U16(), attrSize = ext.U16(), attrCount = ext.U16();
    if (!ext.ok() || attrSize < kAttributeSize || !pool_.GetUtf8(name, &e->name)) return false;
    for (uint16_t i = 0; i < attrCount; i++) {
        Cursor a = ext.Range(static_cast<size_t>(attrStart) + static_cast<size_t>(i) * attrSize, kAttributeSize);
        Attribute attr;
        a.U32();  // namespace
        uint32_t attrName = a.U32();
        attr.raw = a.U32();
        a.Skip(3);  // Res_value size, res0
        attr.type = a.U8();
        attr.data = a.U32();
        if (!a.ok()) return false;
        if (attrName < map_.size()) attr.id = map_[attrName];
        pool_.GetUtf8(attrName, &attr.name);
        e->attributes.push_back(std::move(attr));
    }
    return true;
}

bool ManifestWalk::StringOf(const Attribute& a, std::u16string* s) const {
    if (a.type == kTypeString) return pool_.Get(a.data, s);
    return a.raw != kNoString && pool_.Get(a.raw, s);
}

ManifestComponent ManifestWalk::ComponentOf(const Element& e) const {
    ManifestComponent c;
    if (const Attribute* a = e.ById(kAttrLabel)) {
        if (a->type == kTypeReference || a->type == kTypeDynamicReference) c.label.resource = a->data;
        else c.label.hasLiteral = StringOf(*a, &c.label.literal);
    }
    for (uint32_t id : {kAttrIcon, kAttrRoundIcon}) {
        const Attribute* a = e.ById(id);
        if (!a || (a->type != kTypeReference && a->type != kTypeDynamicReference)) continue;
        (id == kAttrIcon ? c.icon : c.roundIcon) = a->data;
    }
    return c;
}

void ManifestWalk::Start(const Element& e) {
    const std::string& parent = Parent();
    if (e.name == "manifest" && stack_.empty()) {
        for (const Attribute& a : e.attributes) {
            std::u16string s;
            if (a.id == 0 && a.name == "package" && StringOf(a, &s)) info_->package = Utf16ToUtf8(s);
        }
    } else if (e.name == "application" && parent == "manifest") {
        info_->application = ComponentOf(e);
        sawApplication_ = true;
    } else if ((e.name == "activity" || e.name == "activity-alias") && parent == "application") {
        StartComponent(e);
    } else if (e.name == "intent-filter" && inComponent_ && (parent == "activity" || parent == "activity-alias")) {
        filterMain_ = filterLauncher_ = false;
    } else if ((e.name == "action" || e.name == "category") && parent == "intent-filter" && inComponent_) {
        const Attribute* n = e.ById(kAttrName);
        std::u16string value;
        if (!n || !StringOf(*n, &value)) return;
        if (e.name == "action" && value == u"android.intent.action.MAIN") filterMain_ = true;
        if (e.name == "category" && value == u"android.intent.category.LAUNCHER") filterLauncher_ = true;
    }
}

// ParsingUtils.buildClassName: ".Main" and "Main" are in the package.
std::string ManifestWalk::ClassName(const Element& e, uint32_t attr) const {
    std::u16string name;
    const Attribute* a = e.ById(attr);
    if (!a || !StringOf(*a, &name) || name.empty()) return std::string();
    std::string s = Utf16ToUtf8(name);
    if (s[0] == '.') return info_->package + s;
    if (s.find('.') == std::string::npos) return info_->package + "." + s;
    return s;
}

// An <activity-alias> starts as a copy of its target, declared before it,
// label and icon included; its own attributes then override
// (ParsedActivity.makeAlias, ParsedActivityUtils.parseActivityAlias).
void ManifestWalk::StartComponent(const Element& e) {
    inComponent_ = true;
    componentLaunches_ = false;
    ManifestComponent own = ComponentOf(e);
    component_ = own;
    if (e.name == "activity-alias") {
        std::string target = ClassName(e, kAttrTargetActivity);
        for (const auto& a : activities_)
            if (a.first == target) component_ = a.second;
        if (own.label.hasLiteral || own.label.resource) component_.label = own.label;
        if (own.icon) component_.icon = own.icon;
        if (own.roundIcon) component_.roundIcon = own.roundIcon;
    } else if (activities_.size() < kMaxActivities) {
        activities_.emplace_back(ClassName(e, kAttrName), own);
    }
    const Attribute* enabled = e.ById(kAttrEnabled);
    componentEnabled_ = !(enabled && enabled->type == kTypeBoolean && enabled->data == 0);
    std::u16string name;
    const Attribute* n = e.ById(kAttrName);
    componentName_ = n && StringOf(*n, &name) ? Utf16ToUtf8(name) : std::string();
}

void ManifestWalk::End(const std::string& name) {
    if (name == "intent-filter" && inComponent_) {
        if (filterMain_ && filterLauncher_) componentLaunches_ = true;
    } else if ((name == "activity" || name == "activity-alias") && inComponent_ && Parent() == "application") {
        inComponent_ = false;
        if (componentLaunches_ && componentEnabled_ && !info_->hasLauncher) {
            info_->hasLauncher = true;
            info_->launcher = component_;
            info_->launcherName = componentName_;
        }
    }
}

} // namespace

bool ReadManifest(const std::string& bytes, ManifestInfo* info) {
    if (bytes.size() > kManifestMaxSize) return false;
    ManifestInfo out;
    ManifestWalk walk(&out);
    if (!walk.Run(Cursor(bytes))) return false;
    *info = std::move(out);
    return true;
}

} // namespace apk
