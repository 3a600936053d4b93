#include "core/guided/GuidedPresentation.h"

#include "core/base/UnicodeText.h"
#include "core/guided/GuidedText.h"
#include "core/report/ReadinessScorer.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cstdint>
#include <memory>
#include <unicode/locid.h>
#include <unicode/stringoptions.h>
#include <unicode/ucasemap.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>
#include <unicode/utf8.h>
#include <unordered_map>
#include <unordered_set>

namespace quorilanth {
namespace {

using guidedText::Pair;

struct Row {
    std::string_view key;
    Pair text;
};

constexpr std::array<Row, 51> kLabels{{
    {"query", {"Cosa vuoi cercare?", "What would you like to find?"}},
    {"q", {"Cosa vuoi cercare?", "What would you like to find?"}},
    {"app_id", {"Nome identificativo dell’app", "App identifier"}},
    {"article_id", {"Identificativo dell’articolo", "Article identifier"}},
    {"content_id", {"Identificativo del contenuto", "Content identifier"}},
    {"slug", {"Nome breve del contenuto", "Short content name"}},
    {"language", {"Lingua della risposta", "Answer language"}},
    {"languages", {"Lingue", "Languages"}},
    {"free", {"Solo gratuiti", "Free only"}},
    {"category", {"Categoria", "Category"}},
    {"platform", {"Sistema operativo", "Operating system"}},
    {"limit", {"Numero massimo di risultati", "Maximum results"}},
    {"architecture", {"Tipo di processore", "Processor type"}},
    {"os", {"Versione del sistema operativo", "Operating system version"}},
    {"capabilities", {"Funzionalità", "Features"}},
    {"tags", {"Parole chiave", "Keywords"}},
    {"name", {"Nome", "Name"}},
    {"title", {"Titolo", "Title"}},
    {"description", {"Descrizione", "Description"}},
    {"summary", {"In breve", "Summary"}},
    {"publisher", {"Pubblicato da", "Published by"}},
    {"developer", {"Sviluppatore", "Developer"}},
    {"version", {"Versione", "Version"}},
    {"minimum_os", {"Sistema minimo richiesto", "Minimum system requirement"}},
    {"is_free", {"Gratuito", "Free"}},
    {"price", {"Prezzo", "Price"}},
    {"currency", {"Valuta", "Currency"}},
    {"account_required", {"Richiede un account", "Requires an account"}},
    {"telemetry", {"Raccolta di dati di utilizzo", "Usage data collection"}},
    {"updated_at", {"Ultimo aggiornamento", "Last updated"}},
    {"results", {"Risultati", "Results"}},
    {"total", {"Totale", "Total"}},
    {"data", {"Informazioni", "Information"}},
    {"items", {"Elementi", "Items"}},
    {"apps", {"Applicazioni", "Applications"}},
    {"articles", {"Articoli", "Articles"}},
    {"country", {"Paese", "Country"}},
    {"about", {"Presentazione", "Introduction"}},
    {"note", {"Nota del sito", "Note from the site"}},
    {"compatible", {"Compatibile", "Compatible"}},
    {"supported", {"Supportato", "Supported"}},
    {"reason", {"Motivo", "Reason"}},
    {"requirements", {"Requisiti", "Requirements"}},
    {"release_notes", {"Novità", "What’s new"}},
    {"status", {"Stato", "Status"}},
    {"error", {"Errore", "Error"}},
    {"message", {"Messaggio", "Message"}},
    {"canonical_url", {"Pagina di riferimento", "Reference page"}},
    {"official_page_url", {"Pagina indicata dal sito", "Page provided by the site"}},
    {"url", {"Indirizzo", "Address"}},
    {"website", {"Sito web", "Website"}},
}};

constexpr std::array<Row, 8> kToolTitles{{
    {"search_apps", {"Cerca applicazioni", "Find applications"}},
    {"list_apps", {"Sfoglia le applicazioni", "Browse applications"}},
    {"get_app_details", {"Conosci meglio un’app", "Learn more about an app"}},
    {"search_articles", {"Cerca articoli", "Find articles"}},
    {"get_article", {"Leggi un articolo", "Read an article"}},
    {"get_latest_version", {"Consulta l’ultima versione", "Check the latest version"}},
    {"check_compatibility", {"Controlla la compatibilità", "Check compatibility"}},
    {"get_official_page", {"Trova la pagina di riferimento", "Find the reference page"}},
}};

constexpr Pair kSearchIntroduction{
    "Indica cosa cerchi e consulta i risultati restituiti dal sito.",
    "Enter what you are looking for and read the results returned by the site."};

constexpr std::array<Row, 8> kToolIntroductions{{
    {"search_apps", kSearchIntroduction},
    {"search_articles", kSearchIntroduction},
    {"list_apps",
     {"Consulta il catalogo del sito e scegli gli eventuali filtri.",
      "Browse the site’s catalog and choose any filters you need."}},
    {"get_app_details",
     {"Indica un’app per richiedere la sua scheda al sito.",
      "Enter an app identifier to request its details from the site."}},
    {"get_article",
     {"Indica l’articolo di cui vuoi leggere le informazioni.",
      "Choose the article you want to learn more about."}},
    {"get_latest_version",
     {"Richiedi le informazioni di versione pubblicate per un’app.",
      "Request the version information published for an app."}},
    {"check_compatibility",
     {"Indica l’app e il sistema da confrontare con i requisiti del sito.",
      "Choose an app and a system to compare with the site’s requirements."}},
    {"get_official_page",
     {"Richiedi l’indirizzo che il sito indica per un contenuto.",
      "Request the address the site provides for a piece of content."}},
}};

constexpr Pair kNoDescription{"Il sito espone questa funzione, ma non ne pubblica una descrizione.",
                              "The site offers this function but has not published a description."};

constexpr std::array<Row, 10> kDocumentTitles{{
    {"agent.json", {"Come si presenta il sito", "How the site introduces itself"}},
    {"agent-manifest.json", {"Come si presenta il sito", "How the site introduces itself"}},
    {"agent-card.json", {"La scheda del suo assistente", "Its assistant’s profile"}},
    {"ai-catalog.json", {"Il catalogo pubblicato", "The published catalog"}},
    {"catalog", {"Il catalogo pubblicato", "The published catalog"}},
    {"llms.txt", {"Le istruzioni per gli assistenti", "Instructions for assistants"}},
    {"agents", {"La guida alle funzioni del sito", "A guide to the site’s functions"}},
    {"mcp.json", {"Come collegarsi alle sue funzioni", "How to connect to its functions"}},
    {"sitemap.xml", {"L’indice delle pagine", "The page index"}},
    {"robots.txt",
     {"Le indicazioni per chi esplora il sito", "Instructions for site visitors and crawlers"}},
}};

constexpr std::array<Row, 6> kChoices{{
    {"it", {"Italiano", "Italian"}},
    {"en", {"English", "English"}},
    {"true", {"Sì", "Yes"}},
    {"false", {"No", "No"}},
    {"arm64", {"Apple Silicon", "Apple Silicon"}},
    {"x86_64", {"Intel", "Intel"}},
}};

template <std::size_t N>
const Pair* lookUp(const std::array<Row, N>& table, std::string_view key) noexcept {
    const auto found =
        std::find_if(table.begin(), table.end(), [&](const Row& row) { return row.key == key; });
    return found == table.end() ? nullptr : &found->text;
}

using CaseMap = std::unique_ptr<UCaseMap, decltype(&ucasemap_close)>;

// One word as the platform capitalises it: its first cased letter in title
// case, the rest in lower case, what comes before that letter as it is.
void appendTitled(std::string_view word, CaseMap& map, std::string& out) {
    if (std::all_of(word.begin(), word.end(), [](char c) { return (c & 0x80) == 0; })) {
        // ASCII, the usual key, needs no case tables: a hostile tool name of a
        // million short words would otherwise take most of a second.
        bool seen = false;
        for (const char c : word) {
            const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
            out += !letter ? c : seen ? static_cast<char>(c | 0x20) : static_cast<char>(c & ~0x20);
            seen = seen || letter;
        }
        return;
    }
    UErrorCode status = U_ZERO_ERROR;
    if (!map)
        map.reset(
            ucasemap_open("", U_TITLECASE_WHOLE_STRING | U_TITLECASE_ADJUST_TO_CASED, &status));
    const std::size_t at = out.size();
    const auto title = [&](std::size_t room) {
        status = U_ZERO_ERROR;
        out.resize(at + room);
        return ucasemap_utf8ToTitle(map.get(), out.data() + at, static_cast<std::int32_t>(room),
                                    word.data(), static_cast<std::int32_t>(word.size()), &status);
    };
    std::int32_t written = map ? title(word.size() * 3) : 0;
    if (status == U_BUFFER_OVERFLOW_ERROR) written = title(static_cast<std::size_t>(written));
    if (!map || U_FAILURE(status)) {
        out.resize(at);
        out += word;
        return;
    }
    out.resize(at + static_cast<std::size_t>(written));
}

// Every word (a run between white space) capitalised on its own.
std::string capitalisedWords(std::string_view text) {
    if (text.size() > static_cast<std::size_t>(INT32_MAX / 3)) return std::string(text);
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data());
    const auto length = static_cast<std::int32_t>(text.size());
    // Whether a white-space character starts at `at`; `next` is where the next one starts.
    const auto spaceAt = [&](std::int32_t at, std::int32_t& next) {
        UChar32 c = 0;
        next = at;
        U8_NEXT(bytes, next, length, c);
        return c >= 0 && u_isUWhiteSpace(c);
    };
    CaseMap map(nullptr, &ucasemap_close);
    std::string out;
    out.reserve(text.size());
    for (std::int32_t at = 0, next = 0; at < length;) {
        const bool space = spaceAt(at, next);
        std::int32_t end = next;
        for (std::int32_t after = 0; end < length && spaceAt(end, after) == space;)
            end = after;
        const std::string_view run =
            text.substr(static_cast<std::size_t>(at), static_cast<std::size_t>(end - at));
        if (space)
            out += run;
        else
            appendTitled(run, map, out);
        at = end;
    }
    return out;
}

} // namespace

namespace guidedText {

std::string_view head(std::string_view text, std::size_t limit) {
    std::string_view window = text.substr(
        0, limit > SIZE_MAX / kMaxBytesPerCharacter ? SIZE_MAX : limit * kMaxBytesPerCharacter);
    if (window.size() < text.size()) {
        while (!window.empty() && (static_cast<unsigned char>(text[window.size()]) & 0xC0) == 0x80)
            window.remove_suffix(1);
    }
    return window.substr(0, unicodeText::graphemePrefix(window, limit));
}

std::string capped(std::string_view text, std::size_t limit) {
    const std::string_view kept = head(text, limit);
    if (kept.size() == text.size()) return std::string(text);
    std::string cut(kept);
    cut += "…";
    return cut;
}

} // namespace guidedText

namespace GuidedPresentation {

std::string label(std::string_view key, Language language) {
    if (const Pair* known = lookUp(kLabels, key)) return std::string(known->in(language));
    std::string spaced(key);
    std::replace(spaced.begin(), spaced.end(), '_', ' ');
    std::replace(spaced.begin(), spaced.end(), '-', ' ');
    return capitalisedWords(spaced);
}

std::string actionTitle(const MCPTool& tool, Language language) {
    if (const Pair* known = lookUp(kToolTitles, tool.name()))
        return std::string(known->in(language));
    if (std::optional<std::string_view> title = tool.definition["title"].string())
        return std::string(*title);
    if (std::optional<std::string_view> title = tool.definition["annotations"]["title"].string())
        return std::string(*title);
    // "Unnamed tool" is the system's own text and reads as written.
    if (!tool.definition["name"].isString()) return std::string(tool.name());
    return label(tool.name(), language);
}

std::string actionIntroduction(const MCPTool& tool, Language language) {
    if (const Pair* known = lookUp(kToolIntroductions, tool.name()))
        return std::string(known->in(language));
    if (std::optional<std::string_view> description = tool.definition["description"].string();
        description && !description->empty())
        return std::string(*description);
    return std::string(kNoDescription.in(language));
}

std::string safety(const MCPTool& tool, Language language) {
    switch (tool.safety()) {
    case ToolSafety::readOnly:
        return std::string(
            Pair{"Sola consultazione, secondo il sito", "Read-only, according to the site"}.in(
                language));
    case ToolSafety::mutating:
        return std::string(Pair{"Può apportare modifiche · conferma richiesta",
                                "May make changes · confirmation required"}
                               .in(language));
    case ToolSafety::unknown:
        break;
    }
    return std::string(Pair{"Effetti non dichiarati · conferma richiesta",
                            "Effects not declared · confirmation required"}
                           .in(language));
}

std::string documentTitle(const GraphNode& node, Language language) {
    if (const Pair* known = lookUp(kDocumentTitles, unicodeText::lowercased(node.label)))
        return std::string(known->in(language));
    if (std::optional<std::string_view> title = node.metadata["title"].string())
        return std::string(*title);
    if (std::optional<std::string_view> name = node.metadata["name"].string())
        return std::string(*name);
    return label(node.label, language);
}

std::string presenceTitle(AgentSurfaceAssessment::Presence presence, bool feminine, bool plural,
                          Language language) {
    using Presence = AgentSurfaceAssessment::Presence;
    if (language == Language::english) {
        return presence == Presence::found      ? "Found"
               : presence == Presence::notFound ? "Not found"
                                                : "Not verified";
    }
    std::string word = presence == Presence::found      ? "Trovat"
                       : presence == Presence::notFound ? "Non trovat"
                                                        : "Non verificat";
    word += plural ? (feminine ? 'e' : 'i') : (feminine ? 'a' : 'o');
    return word;
}

std::optional<std::string> siteDescription(const ScanReport& report, Language language) {
    const std::string_view code = language == Language::italian ? "it" : "en";
    const auto described = [&](const GraphNode& node) -> std::optional<std::string_view> {
        for (const JSONValue* candidate :
             {&node.metadata["about"]["description"], &node.metadata["description"]}) {
            std::optional<std::string_view> text = (*candidate)[code].string();
            if (!text) text = (*candidate)["en"].string();
            if (!text) text = candidate->string();
            if (text && !text->empty()) return text;
        }
        return std::nullopt;
    };
    // Domain nodes first, the rest in report order. A tool, resource or prompt
    // describes itself, not the site: "Echoes back the input string" is no
    // site's description of itself; nor is whatever a tool's answer holds.
    const std::unordered_set<std::string_view> answered = ReadinessScorer::toolAnswers(report);
    for (const bool domainPass : {true, false}) {
        for (const GraphNode& node : report.nodes) {
            if ((node.kind == NodeKind::domain) != domainPass) continue;
            if (node.kind == NodeKind::tool || node.kind == NodeKind::resource ||
                node.kind == NodeKind::prompt || answered.count(node.id) != 0)
                continue;
            if (const std::optional<std::string_view> text = described(node))
                return std::string(*text);
        }
    }
    return std::nullopt;
}

std::vector<MCPTool> tools(const ScanReport& report) {
    std::vector<MCPTool> offered;
    for (const MCPServer& server : report.servers) {
        if (server.status != FindingStatus::valid) continue;
        offered.insert(offered.end(), server.tools.begin(), server.tools.end());
    }
    return offered;
}

std::vector<std::string> toolKeys(const std::vector<MCPTool>& tools) {
    std::vector<std::string> keys;
    keys.reserve(tools.size());
    std::unordered_set<std::string> used;
    std::unordered_map<std::string, std::size_t> occurrences;
    for (const MCPTool& tool : tools) {
        const std::string id = tool.id();
        std::string key = id;
        // A tool may itself be named like a generated key ("a#2"), so a key
        // is only taken when no earlier tool holds it.
        for (std::size_t& n = occurrences[id]; !used.insert(key).second;)
            key = id + "#" + std::to_string(++n + 1);
        keys.push_back(std::move(key));
    }
    return keys;
}

std::string choice(std::string_view text, Language language) {
    if (const Pair* known = lookUp(kChoices, text)) return std::string(known->in(language));
    return std::string(text);
}

} // namespace GuidedPresentation
} // namespace quorilanth
