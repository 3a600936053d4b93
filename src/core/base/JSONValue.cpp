#include "core/base/JSONValue.h"

#include "core/base/Hashing.h"
#include "core/base/JSONBuild.h"
#include "core/base/JSONParser.h"
#include "core/base/PrettyJSONWriter.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>
#include <stdexcept>
#include <sys/mman.h>

namespace quorilanth {

static_assert(std::endian::native == std::endian::little, "inline texts assume little-endian");
static_assert(sizeof(JSONValue) == 8);

namespace detail {

namespace {

// In front of every heap node.
struct HeapHeader {
    std::atomic<std::uint32_t> references{1};
    std::uint32_t spare = 0;
};
static_assert(sizeof(HeapHeader) == 8);

HeapHeader* headerOf(void* node) noexcept {
    return static_cast<HeapHeader*>(node) - 1;
}

// A node of size bytes after a header holding one reference.
void* newHeapNode(std::size_t size) {
    void* block = std::malloc(sizeof(HeapHeader) + size);
    if (!block) throw std::bad_alloc();
    return new (block) HeapHeader + 1;
}

void freeHeapNode(void* node) noexcept {
    HeapHeader* header = headerOf(node);
    header->~HeapHeader();
    std::free(header);
}

} // namespace

std::uint64_t tagged(JSONTag tag, const void* node) {
    auto address = reinterpret_cast<std::uintptr_t>(node);
    // Never on the platforms we build for; a value must not silently lose bits.
    if (address & ~kPayloadMask) std::abort();
    return std::uint64_t{tag} << 56 | address;
}

void retainNode(std::uint64_t bits) noexcept {
    void* node = nodeOf(bits);
    switch (tagOf(bits)) {
    case kTagArenaDouble:
    case kTagArenaText:
    case kTagArenaArray:
    case kTagArenaObject:
    case kTagArenaWhole:
        JSONArena::of(node)->retain();
        break;
    default:
        headerOf(node)->references.fetch_add(1, std::memory_order_relaxed);
    }
}

void releaseNode(std::uint64_t bits) noexcept {
    void* node = nodeOf(bits);
    JSONTag tag = tagOf(bits);
    switch (tag) {
    case kTagArenaDouble:
    case kTagArenaText:
    case kTagArenaArray:
    case kTagArenaObject:
    case kTagArenaWhole:
        JSONArena::of(node)->release();
        return;
    default:
        break;
    }
    if (headerOf(node)->references.fetch_sub(1, std::memory_order_acq_rel) != 1) return;
    if (tag == kTagHeapArray)
        static_cast<JSONValue::Array*>(node)->~Array();
    else if (tag == kTagHeapObject)
        static_cast<JSONValue::Object*>(node)->~Object();
    freeHeapNode(node);
}

std::size_t textNodeSize(std::size_t length, bool terminated) noexcept {
    std::size_t prefix = 1;
    for (std::size_t rest = length >> 7; rest; rest >>= 7)
        ++prefix;
    return prefix + length + (terminated ? 1 : 0);
}

void writeTextNode(void* node, std::string_view text, bool terminated) noexcept {
    auto p = static_cast<unsigned char*>(node);
    std::size_t length = text.size();
    while (length >= 0x80) {
        *p++ = static_cast<unsigned char>(length | 0x80);
        length >>= 7;
    }
    *p++ = static_cast<unsigned char>(length);
    if (!text.empty()) std::memcpy(p, text.data(), text.size());
    if (terminated) p[text.size()] = 0;
}

std::uint64_t makeHeapText(std::string_view text) {
    void* node = newHeapNode(textNodeSize(text.size(), true));
    writeTextNode(node, text, true);
    return tagged(kTagHeapText, node);
}

std::uint64_t makeText(std::string_view text) {
    if (text.size() > kInlineTextMax) return makeHeapText(text);
    std::uint64_t bits = std::uint64_t(kTagInlineText + text.size()) << 56;
    if (!text.empty()) std::memcpy(&bits, text.data(), text.size());
    return bits;
}

// ---- arenas -----------------------------------------------------------------

void* JSONArena::map(std::size_t bytes) {
    blocks_.reserve(blocks_.size() + 1);
    // Small blocks come from the allocator, which reuses them cheaply for the
    // many small documents read and dropped; large ones straight from the
    // kernel, aligned without gaps and given back as soon as they go.
    const bool mapped = bytes >= kMapped;
    void* start =
        mapped ? ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0)
               : std::aligned_alloc(kPage, bytes);
    if (start == (mapped ? MAP_FAILED : nullptr)) throw std::bad_alloc();
    blocks_.push_back({start, mapped ? bytes : 0});
    *static_cast<JSONArena**>(start) = this;
    return start;
}

void* JSONArena::take(Cursor& cursor, std::size_t size) {
    if (size > kLargeNode) {
        // A block of its own whose first word names the arena, like a page's.
        return static_cast<char*>(map((sizeof(JSONArena*) + size + kPage - 1) & ~(kPage - 1))) +
               sizeof(JSONArena*);
    }
    if (static_cast<std::size_t>(cursor.end - cursor.at) < size) {
        if (slabCursor_ == slabEnd_) {
            // Slabs grow from one page to sixteen, so a small document takes
            // one page and a large one leaves at most part of its last slab.
            std::size_t bytes = nextSlabPages_ * kPage;
            slabCursor_ = static_cast<char*>(map(bytes));
            slabEnd_ = slabCursor_ + bytes;
            nextSlabPages_ = std::min<std::size_t>(nextSlabPages_ * 2, 16);
        }
        char* page = slabCursor_;
        slabCursor_ += kPage;
        *reinterpret_cast<JSONArena**>(page) = this;
        cursor = {page + sizeof(JSONArena*), page + kPage};
    }
    void* at = cursor.at;
    cursor.at += size;
    return at;
}

void* JSONArena::allocate(std::size_t size) {
    // Every node size is a multiple of eight, so the node cursor stays aligned.
    return take(nodes_, (size + 7) & ~std::size_t{7});
}

void* JSONArena::allocateText(std::size_t size) {
    return take(texts_, size);
}

JSONArena::~JSONArena() {
    for (const Strings& strings : strings_) {
        auto* first = static_cast<std::string*>(strings.first);
        for (std::size_t i = 0; i < strings.count; ++i)
            first[i].~basic_string();
    }
    for (std::uint64_t bits : owned_)
        detail::release(bits);
    for (const Block& block : blocks_) {
        if (block.mappedBytes)
            ::munmap(block.start, block.mappedBytes);
        else
            std::free(block.start);
    }
}

// ---- building a read document --------------------------------------------------

std::uint64_t JSONBuild::inlineNumber(double value) noexcept {
    // Whole numbers up to 2^53 are exact in 56 bits; -0 keeps its sign in a node.
    constexpr double kLimit = 9007199254740992.0;
    if (!(value == std::trunc(value) && std::fabs(value) <= kLimit) ||
        (value == 0 && std::signbit(value)))
        return 0;
    auto whole = static_cast<std::int64_t>(value);
    return std::uint64_t{kTagInteger} << 56 | (static_cast<std::uint64_t>(whole) & kPayloadMask);
}

std::uint64_t JSONBuild::number(JSONArena& arena, double value) {
    if (std::uint64_t bits = inlineNumber(value)) return bits;
    void* node = arena.allocate(sizeof(double));
    std::memcpy(node, &value, sizeof value);
    return tagged(kTagArenaDouble, node);
}

std::uint64_t JSONBuild::whole(JSONArena& arena, std::int64_t value) {
    if (std::uint64_t bits = inlineNumber(static_cast<double>(value));
        bits && static_cast<std::int64_t>(bits << 8) >> 8 == value)
        return bits;
    void* node = arena.allocate(sizeof value);
    std::memcpy(node, &value, sizeof value);
    return tagged(kTagArenaWhole, node);
}

std::uint64_t JSONBuild::text(JSONArena& arena, std::string_view text) {
    if (text.size() <= kInlineTextMax) return makeText(text);
    const std::size_t size = textNodeSize(text.size(), false);
    if (size > JSONArena::kLargeNode) {
        // Long texts (bodies inside a report) keep a block of their own, so
        // that a record can share one without holding the whole document.
        std::uint64_t bits = makeHeapText(text);
        try {
            arena.own(bits);
        } catch (...) {
            release(bits);
            throw;
        }
        return bits;
    }
    void* node = arena.allocateText(size);
    writeTextNode(node, text, false);
    return tagged(kTagArenaText, node);
}

JSONValue* JSONBuild::array(JSONArena& arena, std::size_t count, std::uint64_t& bits) {
    void* node = arena.allocate(sizeof(JSONValue::Array) + count * sizeof(JSONValue));
    auto* array = new (node) JSONValue::Array();
    array->data_ = reinterpret_cast<JSONValue*>(array + 1);
    array->size_ = array->capacity_ = static_cast<std::uint32_t>(count);
    bits = tagged(kTagArenaArray, array);
    return array->data_;
}

JSONValue* JSONBuild::object(JSONArena& arena, const std::string* keys, std::size_t count,
                             std::uint64_t& bits) {
    void* node = arena.allocate(sizeof(JSONValue::Object) + count * sizeof(JSONValue));
    auto* object = new (node) JSONValue::Object();
    // Arena objects are never changed or destroyed, so the shared keys stay as they are.
    object->storage_ = const_cast<std::string*>(keys);
    object->size_ = static_cast<std::uint32_t>(count);
    bits = tagged(kTagArenaObject, object);
    return object->values();
}

} // namespace detail

namespace {

using namespace detail;

const JSONValue& sharedNull() noexcept {
    static const JSONValue kNull;
    return kNull;
}

const JSONValue::Array& sharedEmptyArray() noexcept {
    static const JSONValue::Array kEmpty;
    return kEmpty;
}

const JSONValue::Object& sharedEmptyObject() noexcept {
    static const JSONValue::Object kEmpty;
    return kEmpty;
}

// One more than the largest count a container holds.
constexpr std::size_t kCountLimit = std::numeric_limits<std::uint32_t>::max();

template <typename Node> std::uint64_t heapContainer(JSONTag tag, Node&& node) {
    void* block = newHeapNode(sizeof(Node));
    return tagged(tag, new (block) Node(std::move(node)));
}

constexpr JSONValue::Kind kKinds[] = {
    JSONValue::Kind::null,   JSONValue::Kind::boolean, JSONValue::Kind::boolean,
    JSONValue::Kind::number, JSONValue::Kind::number,  JSONValue::Kind::number,
    JSONValue::Kind::string, JSONValue::Kind::string,  JSONValue::Kind::array,
    JSONValue::Kind::array,  JSONValue::Kind::object,  JSONValue::Kind::object,
    JSONValue::Kind::number,
};

} // namespace

// ---- JSONValue ----------------------------------------------------------------

JSONValue::JSONValue(bool value) noexcept : bits_(JSONBuild::boolean(value)) {}

JSONValue::JSONValue(Number number) {
    bits_ = JSONBuild::inlineNumber(number.value);
    if (bits_) return;
    void* node = newHeapNode(sizeof(double));
    std::memcpy(node, &number.value, sizeof number.value);
    bits_ = tagged(kTagHeapDouble, node);
}

JSONValue::JSONValue(std::string_view value) : bits_(makeText(value)) {}

JSONValue::JSONValue(const SharedString& value) : bits_(value.bits_ ? value.bits_ : makeText({})) {
    retain(bits_);
}

JSONValue::JSONValue(Object value)
    : bits_(value.empty() ? std::uint64_t{kTagHeapObject} << 56
                          : heapContainer(kTagHeapObject, std::move(value))) {}

JSONValue::JSONValue(Array value)
    : bits_(value.empty() ? std::uint64_t{kTagHeapArray} << 56
                          : heapContainer(kTagHeapArray, std::move(value))) {}

JSONValue::JSONValue(const JSONValue& other) noexcept : bits_(other.bits_) {
    retain(bits_);
}

JSONValue& JSONValue::operator=(const JSONValue& other) noexcept {
    retain(other.bits_);
    release(std::exchange(bits_, other.bits_));
    return *this;
}

JSONValue& JSONValue::operator=(JSONValue&& other) noexcept {
    if (this != &other) release(std::exchange(bits_, std::exchange(other.bits_, 0)));
    return *this;
}

JSONValue::~JSONValue() {
    release(bits_);
}

JSONValue JSONValue::emptyObject() noexcept {
    return JSONValue(Raw{std::uint64_t{kTagHeapObject} << 56});
}

JSONValue JSONValue::emptyArray() noexcept {
    return JSONValue(Raw{std::uint64_t{kTagHeapArray} << 56});
}

JSONValue JSONValue::parse(std::string_view text) {
    return parse(text, kMaxNesting);
}

JSONValue JSONValue::parse(std::string_view text, std::size_t maxNesting) {
    return detail::parseJSONText(text, nullptr, maxNesting);
}

JSONValue JSONValue::parse(const Reader& read, std::size_t maxNesting) {
    return detail::parseJSONText({}, &read, maxNesting);
}

JSONValue::Kind JSONValue::kind() const noexcept {
    JSONTag tag = tagOf(bits_);
    return tag >= kTagInlineText ? Kind::string : kKinds[tag];
}

const JSONValue& JSONValue::operator[](std::string_view key) const noexcept {
    const JSONValue* member = find(key);
    return member ? *member : sharedNull();
}

const JSONValue* JSONValue::find(std::string_view key) const noexcept {
    const Object* members = object();
    if (!members) return nullptr;
    auto it = members->find(key);
    return it == members->end() ? nullptr : &it->second;
}

const JSONValue& JSONValue::operator[](std::size_t index) const noexcept {
    const Array& elements = array();
    return index < elements.size() ? elements[index] : sharedNull();
}

const JSONValue::Object* JSONValue::object() const noexcept {
    JSONTag tag = tagOf(bits_);
    if (tag != kTagHeapObject && tag != kTagArenaObject) return nullptr;
    void* node = nodeOf(bits_);
    return node ? static_cast<const Object*>(node) : &sharedEmptyObject();
}

const JSONValue::Array& JSONValue::array() const noexcept {
    JSONTag tag = tagOf(bits_);
    void* node = nodeOf(bits_);
    if ((tag != kTagHeapArray && tag != kTagArenaArray) || !node) return sharedEmptyArray();
    return *static_cast<const Array*>(node);
}

std::optional<std::string_view> JSONValue::string() const noexcept {
    if (!isString()) return std::nullopt;
    return textOf(bits_);
}

std::optional<SharedString> JSONValue::sharedString() const {
    // Short texts are copied (an arena text is at most a few kilobytes); long
    // ones live on the heap and are shared.
    if (tagOf(bits_) == kTagHeapText) {
        retain(bits_);
        return SharedString(SharedString::Adopt{}, bits_);
    }
    if (!isString()) return std::nullopt;
    return SharedString(textOf(bits_));
}

std::optional<double> JSONValue::number() const noexcept {
    switch (tagOf(bits_)) {
    case kTagInteger:
        return static_cast<double>(static_cast<std::int64_t>(bits_ << 8) >> 8);
    case kTagHeapDouble:
    case kTagArenaDouble: {
        double value;
        std::memcpy(&value, nodeOf(bits_), sizeof value);
        return value;
    }
    case kTagArenaWhole: {
        std::int64_t value;
        std::memcpy(&value, nodeOf(bits_), sizeof value);
        return static_cast<double>(value);
    }
    default:
        return std::nullopt;
    }
}

std::optional<std::int64_t> JSONValue::integer() const noexcept {
    switch (tagOf(bits_)) {
    case kTagInteger:
        return static_cast<std::int64_t>(bits_ << 8) >> 8;
    case kTagArenaWhole: {
        std::int64_t value;
        std::memcpy(&value, nodeOf(bits_), sizeof value);
        return value;
    }
    case kTagHeapDouble:
    case kTagArenaDouble: {
        double value;
        std::memcpy(&value, nodeOf(bits_), sizeof value);
        // Whole and inside the signed 64-bit range (2^63 itself is outside).
        if (value != std::trunc(value) || value < -9223372036854775808.0 ||
            value >= 9223372036854775808.0)
            return std::nullopt;
        return static_cast<std::int64_t>(value);
    }
    default:
        return std::nullopt;
    }
}

std::optional<bool> JSONValue::boolean() const noexcept {
    JSONTag tag = tagOf(bits_);
    if (tag != kTagTrue && tag != kTagFalse) return std::nullopt;
    return tag == kTagTrue;
}

JSONValue::Object& JSONValue::ownObject() {
    JSONTag tag = tagOf(bits_);
    void* node = nodeOf(bits_);
    if (tag == kTagHeapObject && node &&
        headerOf(node)->references.load(std::memory_order_acquire) == 1)
        return *static_cast<Object*>(node);
    const Object* members = object();
    std::uint64_t bits = heapContainer(kTagHeapObject, members ? Object(*members) : Object());
    release(std::exchange(bits_, bits));
    return *static_cast<Object*>(nodeOf(bits_));
}

JSONValue::Array& JSONValue::ownArray() {
    JSONTag tag = tagOf(bits_);
    void* node = nodeOf(bits_);
    if (tag == kTagHeapArray && node &&
        headerOf(node)->references.load(std::memory_order_acquire) == 1)
        return *static_cast<Array*>(node);
    std::uint64_t bits = heapContainer(kTagHeapArray, isArray() ? Array(array()) : Array());
    release(std::exchange(bits_, bits));
    return *static_cast<Array*>(nodeOf(bits_));
}

JSONValue& JSONValue::set(std::string_view key, JSONValue value) {
    ownObject().insert_or_assign(key, std::move(value));
    return *this;
}

JSONValue& JSONValue::append(JSONValue value) {
    ownArray().push_back(std::move(value));
    return *this;
}

bool JSONValue::erase(std::string_view key) {
    if (!find(key)) return false;
    ownObject().erase(key);
    return true;
}

std::string JSONValue::pretty() const {
    std::string out;
    try {
        PrettyJSONWriter(out).value(*this);
    } catch (const QuorilanthError&) {
        return {};
    }
    return out;
}

std::string JSONValue::text() const {
    if (auto own = string()) return std::string(*own);
    return pretty();
}

bool operator==(const JSONValue& a, const JSONValue& b) noexcept {
    if (a.kind() != b.kind()) return false;
    switch (a.kind()) {
    case JSONValue::Kind::object:
        return a.bits_ == b.bits_ || *a.object() == *b.object();
    case JSONValue::Kind::array:
        return a.bits_ == b.bits_ || a.array() == b.array();
    case JSONValue::Kind::string:
        return a.bits_ == b.bits_ || *a.string() == *b.string();
    case JSONValue::Kind::number:
        return *a.number() == *b.number();
    case JSONValue::Kind::boolean:
        return a.bits_ == b.bits_;
    case JSONValue::Kind::null:
        return true;
    }
    return false;
}

std::size_t JSONValue::hash() const noexcept {
    std::size_t seed = static_cast<std::size_t>(kind());
    switch (kind()) {
    case Kind::object:
        for (const auto& [key, member] : *object()) {
            detail::hashField(seed, key);
            detail::hashCombine(seed, member.hash());
        }
        break;
    case Kind::array:
        for (const JSONValue& element : array())
            detail::hashCombine(seed, element.hash());
        break;
    case Kind::string:
        detail::hashField(seed, *string());
        break;
    case Kind::number: {
        double value = *number();
        detail::hashField(seed, value == 0 ? 0.0 : value); // -0 hashes as 0
        break;
    }
    case Kind::boolean:
        detail::hashField(seed, *boolean());
        break;
    case Kind::null:
        break;
    }
    return seed;
}

std::size_t JSONValue::depth() const noexcept {
    std::size_t deepest = 0;
    if (const Object* members = object())
        for (const auto& entry : *members)
            deepest = std::max(deepest, entry.second.depth());
    else if (isArray())
        for (const JSONValue& element : array())
            deepest = std::max(deepest, element.depth());
    else
        return 0;
    return deepest + 1;
}

// ---- Array ----------------------------------------------------------------------

JSONValue::Array::Array(std::size_t count, const JSONValue& value) {
    reserve(count);
    while (size_ < count)
        new (data_ + size_++) JSONValue(value);
}

JSONValue::Array::Array(std::initializer_list<JSONValue> values) {
    reserve(values.size());
    for (const JSONValue& value : values)
        new (data_ + size_++) JSONValue(value);
}

JSONValue::Array::Array(const Array& other) {
    reserve(other.size_);
    for (const JSONValue& value : other)
        new (data_ + size_++) JSONValue(value);
}

JSONValue::Array::Array(Array&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)), size_(std::exchange(other.size_, 0)),
      capacity_(std::exchange(other.capacity_, 0)) {}

JSONValue::Array& JSONValue::Array::operator=(Array other) noexcept {
    std::swap(data_, other.data_);
    std::swap(size_, other.size_);
    std::swap(capacity_, other.capacity_);
    return *this;
}

JSONValue::Array::~Array() {
    clear();
    std::free(data_);
}

void JSONValue::Array::reserve(std::size_t capacity) {
    if (capacity <= capacity_) return;
    if (capacity >= kCountLimit) throw std::length_error("JSON array too long");
    void* block = std::malloc(capacity * sizeof(JSONValue));
    if (!block) throw std::bad_alloc();
    // A value is its bits, so moving the elements is copying them.
    if (size_) std::memcpy(block, static_cast<void*>(data_), size_ * sizeof(JSONValue));
    std::free(data_);
    data_ = static_cast<JSONValue*>(block);
    capacity_ = static_cast<std::uint32_t>(capacity);
}

void JSONValue::Array::grow() {
    reserve(std::max<std::size_t>(4, std::size_t{capacity_} * 2));
}

void JSONValue::Array::pop_back() noexcept {
    data_[--size_].~JSONValue();
}

void JSONValue::Array::clear() noexcept {
    while (size_ > 0)
        pop_back();
}

bool operator==(const JSONValue::Array& a, const JSONValue::Array& b) noexcept {
    return a.size_ == b.size_ && std::equal(a.begin(), a.end(), b.begin());
}

// ---- Object ---------------------------------------------------------------------

JSONValue::Object::Object(std::initializer_list<std::pair<std::string_view, JSONValue>> members) {
    for (const auto& [key, value] : members)
        emplace(key, value);
}

JSONValue::Object::Object(const Object& other) {
    if (other.size_ == 0) return;
    storage_ = std::malloc(other.size_ * (sizeof(JSONValue) + sizeof(std::string)));
    if (!storage_) throw std::bad_alloc();
    capacity_ = other.size_;
    const std::string* keys = other.keys();
    const JSONValue* values = other.values();
    try {
        for (; size_ < other.size_; ++size_) {
            new (this->keys() + size_) std::string(keys[size_]);
            new (this->values() + size_) JSONValue(values[size_]);
        }
    } catch (...) {
        clear();
        std::free(storage_);
        throw;
    }
}

JSONValue::Object::Object(Object&& other) noexcept
    : storage_(std::exchange(other.storage_, nullptr)), size_(std::exchange(other.size_, 0)),
      capacity_(std::exchange(other.capacity_, 0)) {}

JSONValue::Object& JSONValue::Object::operator=(Object other) noexcept {
    std::swap(storage_, other.storage_);
    std::swap(size_, other.size_);
    std::swap(capacity_, other.capacity_);
    return *this;
}

JSONValue::Object::~Object() {
    clear();
    std::free(storage_);
}

void JSONValue::Object::clear() noexcept {
    for (; size_ > 0; --size_) {
        keys()[size_ - 1].~basic_string();
        values()[size_ - 1].~JSONValue();
    }
}

std::pair<std::size_t, bool> JSONValue::Object::locate(std::string_view key) const noexcept {
    const std::string* keys = this->keys();
    std::size_t low = 0, high = size_;
    while (low < high) {
        std::size_t middle = low + (high - low) / 2;
        int order = std::string_view(keys[middle]).compare(key);
        if (order == 0) return {middle, true};
        if (order < 0)
            low = middle + 1;
        else
            high = middle;
    }
    return {low, false};
}

JSONValue::Object::const_iterator JSONValue::Object::find(std::string_view key) const noexcept {
    auto [index, found] = locate(key);
    return found ? const_iterator(keys() + index, values() + index) : end();
}

JSONValue::Object::iterator JSONValue::Object::find(std::string_view key) noexcept {
    auto [index, found] = locate(key);
    return found ? iterator(keys() + index, values() + index) : end();
}

const JSONValue& JSONValue::Object::at(std::string_view key) const {
    auto it = find(key);
    if (it == end()) throw std::out_of_range("no such JSON member");
    return it->second;
}

JSONValue& JSONValue::Object::operator[](std::string_view key) {
    auto [index, found] = locate(key);
    return found ? values()[index] : (*insertAt(index, key, JSONValue())).second;
}

std::pair<JSONValue::Object::iterator, bool>
JSONValue::Object::insert_or_assign(std::string_view key, JSONValue value) {
    auto [index, found] = locate(key);
    if (!found) return {insertAt(index, key, std::move(value)), true};
    values()[index] = std::move(value);
    return {iterator(keys() + index, values() + index), false};
}

std::pair<JSONValue::Object::iterator, bool> JSONValue::Object::emplace(std::string_view key,
                                                                        JSONValue value) {
    auto [index, found] = locate(key);
    if (found) return {iterator(keys() + index, values() + index), false};
    return {insertAt(index, key, std::move(value)), true};
}

JSONValue::Object::iterator JSONValue::Object::insertAt(std::size_t index, std::string_view key,
                                                        JSONValue value) {
    std::string name(key);
    if (size_ == capacity_) {
        std::size_t capacity = std::max<std::size_t>(4, std::size_t{capacity_} * 2);
        if (capacity >= kCountLimit) throw std::length_error("JSON object too large");
        void* block = std::malloc(capacity * (sizeof(JSONValue) + sizeof(std::string)));
        if (!block) throw std::bad_alloc();
        auto* values = static_cast<JSONValue*>(block);
        auto* keys = reinterpret_cast<std::string*>(values + capacity);
        // A value is its bits, so moving one is copying them; keys move one by one.
        if (size_)
            std::memcpy(block, static_cast<void*>(this->values()), size_ * sizeof(JSONValue));
        for (std::size_t i = 0; i < size_; ++i) {
            new (keys + i) std::string(std::move(this->keys()[i]));
            this->keys()[i].~basic_string();
        }
        std::free(storage_);
        storage_ = block;
        capacity_ = static_cast<std::uint32_t>(capacity);
    }
    std::string* keys = this->keys();
    JSONValue* values = this->values();
    std::memmove(static_cast<void*>(values + index + 1), static_cast<void*>(values + index),
                 (size_ - index) * sizeof(JSONValue));
    new (values + index) JSONValue(std::move(value));
    if (index == size_) {
        new (keys + size_) std::string(std::move(name));
    } else {
        new (keys + size_) std::string(std::move(keys[size_ - 1]));
        for (std::size_t i = size_ - 1; i > index; --i)
            keys[i] = std::move(keys[i - 1]);
        keys[index] = std::move(name);
    }
    ++size_;
    return iterator(keys + index, values + index);
}

std::size_t JSONValue::Object::erase(std::string_view key) {
    auto [index, found] = locate(key);
    if (!found) return 0;
    std::string* keys = this->keys();
    JSONValue* values = this->values();
    values[index].~JSONValue();
    std::memmove(static_cast<void*>(values + index), static_cast<void*>(values + index + 1),
                 (size_ - index - 1) * sizeof(JSONValue));
    for (std::size_t i = index; i + 1 < size_; ++i)
        keys[i] = std::move(keys[i + 1]);
    keys[--size_].~basic_string();
    return 1;
}

bool operator==(const JSONValue::Object& a, const JSONValue::Object& b) noexcept {
    if (a.size_ != b.size_) return false;
    const std::string *aKeys = a.keys(), *bKeys = b.keys();
    const JSONValue *aValues = a.values(), *bValues = b.values();
    for (std::size_t i = 0; i < a.size_; ++i) {
        if ((aKeys != bKeys && aKeys[i] != bKeys[i]) || !(aValues[i] == bValues[i])) return false;
    }
    return true;
}

} // namespace quorilanth
