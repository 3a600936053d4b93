#include "core/update/UpdateRelease.h"

#include "core/base/AsciiText.h"
#include "core/base/Url.h"
#include "core/update/UpdateJSON.h"

#include <algorithm>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>
#include <stdexcept>

namespace quorilanth {

std::string UpdateRelease::localizedNotes(const std::vector<std::string>& languages) const {
    std::string language = "en";
    if (!languages.empty()) {
        if (equalsIgnoringASCIICase(std::string_view(languages.front()).substr(0, 2), "it"))
            language = "it";
    }
    if (auto found = notes.find(language); found != notes.end()) return found->second;
    if (auto found = notes.find("en"); found != notes.end()) return found->second;
    return {};
}

std::string UpdateRelease::toJSON() const {
    rapidjson::StringBuffer buffer;
    rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
    auto key = [&](const char* name) { writer.Key(name); };
    auto text = [&](const std::string& value) {
        writer.String(value.data(), static_cast<rapidjson::SizeType>(value.size()));
    };
    // Keys in sorted order, so the text is the same wherever it is written.
    writer.StartObject();
    key("architectures");
    writer.StartArray();
    for (const auto& architecture : architectures)
        text(architecture);
    writer.EndArray();
    key("build");
    writer.Int64(build);
    key("downloadURL");
    text(downloadURL);
    key("mandatory");
    writer.Bool(mandatory);
    key("minimumSystemVersion");
    text(minimumSystemVersion);
    key("notes");
    writer.StartObject();
    for (const auto& [language, note] : notes) {
        writer.Key(language.data(), static_cast<rapidjson::SizeType>(language.size()));
        text(note);
    }
    writer.EndObject();
    key("publishedAt");
    text(publishedAt);
    key("sha256");
    text(sha256);
    key("size");
    writer.Int64(size);
    key("version");
    text(version);
    writer.EndObject();
    return {buffer.GetString(), buffer.GetSize()};
}

UpdateRelease UpdateRelease::fromJSON(std::string_view json) {
    rapidjson::Document document;
    if (!updatejson::parse(json, document)) throw std::invalid_argument("not one JSON document");
    return updatejson::readRelease(document);
}

UpdateRelease updatejson::readRelease(const rapidjson::Value& value) {
    ObjectReader object(value);
    UpdateRelease release;
    release.version = object.string("version");
    release.build = object.integer("build");
    release.minimumSystemVersion = object.string("minimumSystemVersion");
    release.architectures = object.strings("architectures");
    release.mandatory = object.boolean("mandatory");
    release.publishedAt = object.string("publishedAt");
    release.notes = object.stringMap("notes");
    release.downloadURL = object.string("downloadURL");
    if (release.downloadURL.empty() || !Url::parse(release.downloadURL))
        throw std::invalid_argument("\"downloadURL\" is not a URL");
    release.sha256 = object.string("sha256");
    release.size = object.integer("size");
    return release;
}

std::string_view toString(UpdateCheckOutcome::Kind kind) {
    switch (kind) {
    case UpdateCheckOutcome::Kind::available:
        return "available";
    case UpdateCheckOutcome::Kind::incompatible:
        return "incompatible";
    case UpdateCheckOutcome::Kind::current:
        return "current";
    case UpdateCheckOutcome::Kind::notPublished:
        return "notPublished";
    }
    return "notPublished";
}

} // namespace quorilanth
