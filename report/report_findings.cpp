// See report_findings.h. The report is read as lines (CR LF, LF or CR alone
// end a line: copied files and tool output keep their own line ends) and cut
// into sections at the three-line banners the report writer puts before each
// one. Each kind of finding reads the first section of its title only, so a
// banner copied into a later section (a hosts file, a tool's output) cannot
// stand in for the real one. Every text taken from the report is cut and
// cleaned of control bytes before it becomes part of a finding.
#include "report/report_findings.h"

#include <stddef.h>
#include <string.h>

#include "catalog/server_catalog.h"
#include "resources/deployment.h"

namespace {

const size_t kMaxFindings = 24;
const size_t kMaxFindingBytes = 120;
const size_t kMaxGameBytes = 126;     // a game record's name field holds 126 characters
const size_t kMaxSections = 512;      // a report has 18; the rest of a longer text stays in the last one
const size_t kListedPerKind = 3;      // servers, routes, hosts entries, providers, helpers: then "and N more"
const size_t kMaxKept = 64;           // distinct items remembered per kind; more are only counted
const size_t kMaxHops = 64;
const size_t kPieceBytes = 48;        // one name, path or address inside a finding

const char kEllipsis[] = "...";

struct Span {
    const char* begin;
    const char* end;
    size_t Size() const { return static_cast<size_t>(end - begin); }
    bool Empty() const { return begin == end; }
};

Span MakeSpan(const char* begin, const char* end) {
    Span span = {begin, end};
    return span;
}

// The next line from *at, without its line end; false at the end of the text.
bool NextLine(const char** at, const char* end, Span* line) {
    const char* p = *at;
    if (p >= end) return false;
    while (p < end && *p != '\r' && *p != '\n') ++p;
    *line = MakeSpan(*at, p);
    if (p < end && *p == '\r' && p + 1 < end && p[1] == '\n') p += 2;
    else if (p < end) ++p;
    *at = p;
    return true;
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

Span Trim(Span s) {
    while (s.begin < s.end && IsBlank(*s.begin)) ++s.begin;
    while (s.end > s.begin && IsBlank(s.end[-1])) --s.end;
    return s;
}

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool StartsWith(Span s, const char* prefix) {
    const size_t n = strlen(prefix);
    return s.Size() >= n && memcmp(s.begin, prefix, n) == 0;
}

bool EndsWith(Span s, const char* suffix) {
    const size_t n = strlen(suffix);
    return s.Size() >= n && memcmp(s.end - n, suffix, n) == 0;
}

bool Equals(Span s, const char* text) { return s.Size() == strlen(text) && memcmp(s.begin, text, s.Size()) == 0; }

bool EqualsNoCase(Span a, Span b) {
    if (a.Size() != b.Size()) return false;
    for (size_t i = 0; i < a.Size(); ++i)
        if (Lower(a.begin[i]) != Lower(b.begin[i])) return false;
    return true;
}

bool EqualsNoCase(Span a, const char* b) { return EqualsNoCase(a, MakeSpan(b, b + strlen(b))); }

bool EndsWithNoCase(Span s, const char* suffix) {
    const size_t n = strlen(suffix);
    return s.Size() >= n && EqualsNoCase(MakeSpan(s.end - n, s.end), suffix);
}

// First occurrence of needle in s, or NULL.
const char* Find(Span s, const char* needle) {
    const size_t n = strlen(needle);
    if (n == 0 || s.Size() < n) return NULL;
    for (const char* p = s.begin; p + n <= s.end; ++p) {
        p = static_cast<const char*>(memchr(p, needle[0], static_cast<size_t>(s.end - p) - n + 1));
        if (p == NULL) return NULL;
        if (memcmp(p, needle, n) == 0) return p;
    }
    return NULL;
}

// Last occurrence of needle in s, or NULL.
const char* FindLast(Span s, const char* needle) {
    const size_t n = strlen(needle);
    if (n == 0 || s.Size() < n) return NULL;
    for (const char* p = s.end - n;; --p) {
        if (memcmp(p, needle, n) == 0) return p;
        if (p == s.begin) return NULL;
    }
}

bool ParseNumber(Span* s, unsigned long* value) {
    const char* p = s->begin;
    unsigned long v = 0;
    while (p < s->end && *p >= '0' && *p <= '9' && p - s->begin < 9)
        v = v * 10 + static_cast<unsigned long>(*p++ - '0');
    if (p == s->begin) return false;
    s->begin = p;
    *value = v;
    return true;
}

void SkipBlanks(Span* s) {
    while (s->begin < s->end && IsBlank(*s->begin)) ++s->begin;
}

// The next blank-separated word of *s.
bool NextWord(Span* s, Span* word) {
    SkipBlanks(s);
    if (s->Empty()) return false;
    const char* p = s->begin;
    while (p < s->end && !IsBlank(*p)) ++p;
    *word = MakeSpan(s->begin, p);
    s->begin = p;
    return true;
}

// Where a text is cut inside a run of bytes of 0x80 and above, keeps an even
// number of them: in a double-byte code page such a run starts on a character
// (a lead byte is never below 0x80, so a trail byte below it ends any run) and
// a lead byte left without its trail byte would swallow what follows it. In
// a single-byte code page this costs at most one character.
void DropHighTail(std::string* text, size_t keepAtLeast) {
    size_t run = 0;
    while (text->size() - run > keepAtLeast && static_cast<unsigned char>((*text)[text->size() - run - 1]) >= 0x80)
        ++run;
    if (run % 2 != 0) text->erase(text->size() - 1);
}

// Appends report text: control bytes become '?', tabs blanks; longer than
// limit, it is cut and ends in "...".
void AppendPiece(std::string* out, Span piece, size_t limit = kPieceBytes) {
    const size_t start = out->size();
    const bool cut = piece.Size() > limit;
    const size_t take = cut ? limit - (sizeof kEllipsis - 1) : piece.Size();
    for (size_t i = 0; i < take; ++i) {
        const unsigned char c = static_cast<unsigned char>(piece.begin[i]);
        out->push_back(c == '\t' ? ' ' : (c < 0x20 || c == 0x7F) ? '?' : static_cast<char>(c));
    }
    if (cut) {
        DropHighTail(out, start);
        *out += kEllipsis;
    }
}

void AppendText(std::string* out, Span piece) { AppendPiece(out, piece, kPieceBytes); }

void AppendNumber(std::string* out, unsigned long value) {
    char digits[24];
    size_t n = 0;
    do {
        digits[n++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0 && n < sizeof digits);
    while (n > 0) out->push_back(digits[--n]);
}

class FindingList {
public:
    explicit FindingList(std::vector<std::string>* lines) : lines_(lines) {}

    // Adds a line cut to the limit; a line already listed is not repeated.
    void Add(std::string line) {
        if (lines_->size() >= kMaxFindings) return;
        if (line.size() > kMaxFindingBytes) {
            line.resize(kMaxFindingBytes - (sizeof kEllipsis - 1));
            DropHighTail(&line, 0);
            line += kEllipsis;
        }
        for (size_t i = 0; i < lines_->size(); ++i)
            if ((*lines_)[i] == line) return;
        lines_->push_back(line);
    }

    // "... and N more <what>" after the listed ones.
    void AddMore(size_t listed, size_t total, const char* one, const char* many) {
        if (total <= listed) return;
        std::string line = "... and ";
        AppendNumber(&line, total - listed);
        line += " more ";
        line += total - listed == 1 ? one : many;
        Add(line);
    }

private:
    std::vector<std::string>* lines_;
};

// ---- Sections --------------------------------------------------------------

struct Section {
    Span title;
    Span body;
};

bool IsBannerRule(Span line) {
    if (line.Size() != 78) return false;
    for (const char* p = line.begin; p < line.end; ++p)
        if (*p != '=') return false;
    return true;
}

std::vector<Section> FindSections(const char* text, const char* end) {
    std::vector<Section> sections;
    const char* at = text;
    const char* lineStart = text;
    Span line;
    while (lineStart = at, NextLine(&at, end, &line)) {
        if (!IsBannerRule(line)) continue;
        const char* look = at;
        Span title, rule;
        if (!NextLine(&look, end, &title) || !StartsWith(title, "= ") || !NextLine(&look, end, &rule) ||
            !IsBannerRule(rule))
            continue;
        if (!sections.empty()) sections.back().body.end = lineStart;
        if (sections.size() >= kMaxSections) {
            sections.back().body.end = end;
            break;
        }
        Section section = {MakeSpan(title.begin + 2, title.end), MakeSpan(look, end)};
        sections.push_back(section);
        at = look;
    }
    return sections;
}

const Section* FindSection(const std::vector<Section>& sections, const char* title) {
    for (size_t i = 0; i < sections.size(); ++i)
        if (Equals(sections[i].title, title)) return &sections[i];
    return NULL;
}

// ---- Header and seal -------------------------------------------------------

std::string ReadGame(const char* text, const char* end) {
    const char* at = text;
    Span line;
    if (!NextLine(&at, end, &line)) return std::string();
    const char* marker = Find(line, " Test Report -- created by Diagnova v");
    if (marker == NULL || marker == line.begin) return std::string();
    std::string game;
    AppendPiece(&game, MakeSpan(line.begin, marker), kMaxGameBytes);
    return game;
}

bool IsHexDigit(char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f'); }

// The digest trailer's shape: the first marker, then 40 hexadecimal digits.
// Whether the digits match is the caller's check. *contentEnd is where the
// sections end: before the end marker that precedes the trailer.
bool HasDigestTrailer(const char* text, const char* end, const char** contentEnd) {
    const char* marker = Find(MakeSpan(text, end), "--- DIGEST ---\r\n");
    *contentEnd = marker != NULL ? marker : end;
    if (EndsWith(MakeSpan(text, *contentEnd), "\r\n<EOF>\r\n")) *contentEnd -= strlen("\r\n<EOF>\r\n");
    if (marker == NULL) return false;
    const char* digits = marker + 16;
    if (end - digits < 40) return false;
    for (int i = 0; i < 40; ++i)
        if (!IsHexDigit(digits[i])) return false;
    return true;
}

// ---- Installed games -------------------------------------------------------

// The installed-games section names Kharros II "Kharros 2": a closing roman
// numeral matches its digit.
bool SameGameName(Span listed, Span game) {
    if (EqualsNoCase(listed, game)) return true;
    static const char* const kNumerals[][2] = {{" II", " 2"}, {" III", " 3"}, {" IV", " 4"}};
    for (size_t i = 0; i < sizeof kNumerals / sizeof kNumerals[0]; ++i) {
        const size_t roman = strlen(kNumerals[i][0]), digit = strlen(kNumerals[i][1]);
        if (EndsWith(game, kNumerals[i][0]) && EndsWith(listed, kNumerals[i][1]) &&
            EqualsNoCase(MakeSpan(game.begin, game.end - roman), MakeSpan(listed.begin, listed.end - digit)))
            return true;
    }
    return false;
}

// A folder for comparison: lower case, backslashes, no trailing separator,
// and without the file name when the value names the game's program.
std::string PlaceOf(Span path) {
    std::string place;
    for (const char* p = path.begin; p < path.end; ++p) place.push_back(*p == '/' ? '\\' : Lower(*p));
    while (!place.empty() && place[place.size() - 1] == '\\') place.erase(place.size() - 1);
    const size_t slash = place.rfind('\\');
    if (slash != std::string::npos && place.size() > 4 && place.compare(place.size() - 4, 4, ".exe") == 0)
        place.erase(slash);
    return place;
}

// One folder inside the other (a user folder below the install folder) is one place.
bool SamePlace(const std::string& a, const std::string& b) {
    const std::string& shorter = a.size() <= b.size() ? a : b;
    const std::string& longer = a.size() <= b.size() ? b : a;
    return longer.compare(0, shorter.size(), shorter) == 0 &&
           (longer.size() == shorter.size() || longer[shorter.size()] == '\\');
}

void FindInstallFindings(const Section* section, const std::string& game, FindingList* findings) {
    if (section == NULL || game.empty()) return;
    const Span gameName = MakeSpan(game.data(), game.data() + game.size());
    const char* at = section->body.begin;
    Span line;
    bool inGame = false, found = false;
    std::vector<Span> places;            // the first path of each distinct place
    std::vector<std::string> placeKeys;
    while (NextLine(&at, section->body.end, &line)) {
        if (StartsWith(line, "< ") && EndsWith(line, " >") && line.Size() >= 4) {
            if (found) break;
            inGame = SameGameName(MakeSpan(line.begin + 2, line.end - 2), gameName);
            found = inGame;
            continue;
        }
        if (!inGame || !StartsWith(line, "\t\t")) continue;
        const Span path = Trim(line);
        if (path.Empty() || placeKeys.size() >= kMaxKept) continue;
        const std::string key = PlaceOf(MakeSpan(path.begin, path.Size() > 1024 ? path.begin + 1024 : path.end));
        bool known = false;
        for (size_t i = 0; i < placeKeys.size() && !known; ++i) known = SamePlace(placeKeys[i], key);
        if (known) continue;
        placeKeys.push_back(key);
        places.push_back(path);
    }
    if (!found) return;
    std::string text;
    AppendPiece(&text, gameName, kPieceBytes);
    if (places.empty()) {
        text += " is not installed: no install path in the registry";
    } else if (places.size() >= 2) {
        text += " is installed in ";
        AppendNumber(&text, places.size());
        text += " places: ";
        for (size_t i = 0; i < places.size() && i < 2; ++i) {
            if (i > 0) text += " | ";
            AppendText(&text, places[i]);
        }
    } else {
        return;
    }
    findings->Add(text);
}

// ---- Server connectivity ---------------------------------------------------

struct HostFailures {
    Span host;                  // empty for an address given as such
    std::string targets;        // "address:port, ..."
    size_t count;
};

void FindConnectFindings(const Section* section, std::vector<Span>* reportHosts, FindingList* findings) {
    if (section == NULL) return;
    std::vector<HostFailures> failed;
    std::vector<Span> unresolved;
    size_t failedHosts = 0, unresolvedHosts = 0, attempts = 0, failures = 0;
    Span host = MakeSpan(NULL, NULL);
    const char* at = section->body.begin;
    Span line;
    while (NextLine(&at, section->body.end, &line)) {
        if (line.Empty()) {
            host = MakeSpan(NULL, NULL);  // an address given as such follows an empty line
            continue;
        }
        const bool failedLine = EndsWith(line, " - connect failed");
        if (failedLine || EndsWith(line, " - connect succeeded")) {
            ++attempts;
            if (!failedLine) continue;
            ++failures;
            const Span target = Trim(MakeSpan(line.begin, line.end - strlen(" - connect failed")));
            HostFailures* entry = NULL;
            for (size_t i = 0; i < failed.size() && entry == NULL; ++i)
                if (host.begin != NULL && failed[i].host.begin != NULL && EqualsNoCase(failed[i].host, host))
                    entry = &failed[i];
            if (entry == NULL) {
                ++failedHosts;
                if (failed.size() >= kMaxKept) continue;
                HostFailures added = {host, std::string(), 0};
                failed.push_back(added);
                entry = &failed.back();
            }
            if (entry->count++ < 4) {
                if (!entry->targets.empty()) entry->targets += ", ";
                AppendPiece(&entry->targets, target, 24);
            }
            continue;
        }
        if (Equals(line, "ip address failed")) {
            if (host.begin == NULL) continue;
            ++unresolvedHosts;
            if (unresolved.size() < kMaxKept) unresolved.push_back(host);
            continue;
        }
        if (Equals(line, "no servers to test") || IsBlank(*line.begin)) continue;
        host = line;
        if (reportHosts->size() < kMaxKept) reportHosts->push_back(host);
    }
    if (failures > 1 && failures == attempts) {
        std::string text = "No game server accepted a connection (";
        AppendNumber(&text, failures);
        text += " attempts failed)";
        findings->Add(text);
    }
    for (size_t i = 0; i < unresolved.size() && i < kListedPerKind; ++i) {
        std::string text = "Game server name not resolved: ";
        AppendText(&text, unresolved[i]);
        findings->Add(text);
    }
    findings->AddMore(kListedPerKind, unresolvedHosts, "server name not resolved", "server names not resolved");
    for (size_t i = 0; i < failed.size() && i < kListedPerKind; ++i) {
        std::string text = "No connection to ";
        if (failed[i].host.begin != NULL) {
            AppendText(&text, failed[i].host);
            text += " at ";
        }
        text += failed[i].targets;
        if (failed[i].count > 4) text += ", ...";
        findings->Add(text);
    }
    findings->AddMore(kListedPerKind, failedHosts, "server did not accept a connection",
                      "servers did not accept a connection");
}

void CollectAddressHosts(const Section* section, std::vector<Span>* reportHosts) {
    if (section == NULL) return;
    const char* at = section->body.begin;
    Span line;
    while (NextLine(&at, section->body.end, &line) && reportHosts->size() < 2 * kMaxKept)
        if (StartsWith(line, "IP Address Information:")) {
            const Span host = Trim(MakeSpan(line.begin + strlen("IP Address Information:"), line.end));
            if (!host.Empty()) reportHosts->push_back(host);
        }
}

// ---- Route tracing -----------------------------------------------------------

struct Hop {
    bool seen;
    bool answered;
    Span address;    // the address part of the first line that named one
    int lossPercent; // -1 when no line gave a loss
};

bool IsDashRule(Span line) {
    if (line.Size() < 17) return false;
    for (const char* p = line.begin; p < line.end; ++p)
        if (*p != '-') return false;
    return true;
}

// The address of a hop's text: inside brackets when a name comes first.
Span HopAddress(Span rest) {
    rest = Trim(rest);
    const char* open = Find(rest, "[");
    if (open != NULL) {
        const char* close = Find(MakeSpan(open, rest.end), "]");
        if (close != NULL) return MakeSpan(open + 1, close);
    }
    Span word = MakeSpan(rest.begin, rest.begin);
    NextWord(&rest, &word);
    return word;
}

// "N/ M = P%": the lost/sent group of the statistics table.
bool ParseLossGroup(Span* s, unsigned long* percent) {
    unsigned long lost, sent;
    SkipBlanks(s);
    if (!ParseNumber(s, &lost) || s->Empty() || *s->begin != '/') return false;
    ++s->begin;
    SkipBlanks(s);
    if (!ParseNumber(s, &sent)) return false;
    SkipBlanks(s);
    if (s->Empty() || *s->begin != '=') return false;
    ++s->begin;
    SkipBlanks(s);
    if (!ParseNumber(s, percent) || s->Empty() || *s->begin != '%') return false;
    ++s->begin;
    return true;
}

// Reads one hop line of tracert ("  2    10 ms     *    12 ms  10.0.0.1"),
// of the first pathping table ("  2  name [10.0.0.1]", "  3     *   *   *")
// or of its statistics ("  2   10ms     5/ 100 =  5%     5/ 100 =  5%  10.0.0.1").
void ReadHopLine(Span line, std::vector<Hop>* hops) {
    Span s = line;
    SkipBlanks(&s);
    unsigned long number;
    if (!ParseNumber(&s, &number) || s.Empty() || !IsBlank(*s.begin) || number == 0 || number >= kMaxHops) return;
    SkipBlanks(&s);
    if (s.Empty()) return;
    Hop& hop = (*hops)[number];

    Span stats = s;
    Span rtt;
    unsigned long percent;
    if (NextWord(&stats, &rtt) && (Equals(rtt, "---") || EndsWith(rtt, "ms")) && ParseLossGroup(&stats, &percent)) {
        unsigned long nodePercent;
        Span afterNode = stats;
        if (ParseLossGroup(&afterNode, &nodePercent)) stats = afterNode;
        hop.seen = true;
        if (!Equals(rtt, "---")) hop.answered = true;
        if (static_cast<int>(percent) > hop.lossPercent) hop.lossPercent = static_cast<int>(percent);
        const Span address = HopAddress(stats);
        if (hop.address.Empty()) hop.address = address;
        return;
    }

    int probes = 0, lost = 0;
    while (probes < 3) {
        Span probe = s;
        SkipBlanks(&probe);
        if (!probe.Empty() && *probe.begin == '*') {
            ++probe.begin;
            ++lost;
        } else {
            if (!probe.Empty() && *probe.begin == '<') ++probe.begin;
            unsigned long ms;
            if (!ParseNumber(&probe, &ms)) break;
            SkipBlanks(&probe);
            if (!StartsWith(probe, "ms")) break;
            probe.begin += 2;
        }
        if (!probe.Empty() && !IsBlank(*probe.begin)) break;
        s = probe;
        ++probes;
    }
    const Span rest = Trim(s);
    const bool answered = lost < probes || (probes == 0 && !rest.Empty());
    hop.seen = true;
    if (!answered) return;
    hop.answered = true;
    if (hop.address.Empty()) hop.address = HopAddress(rest);
    if (probes > 0 && lost > 0) {
        const int percent = lost * 100 / probes;
        if (percent > hop.lossPercent) hop.lossPercent = percent;
    }
}

struct RouteBlock {
    Span label;
    Span target;
    const char* outputBegin;
    const char* outputEnd;
};

// One line about one trace, or an empty text when it shows nothing wrong.
std::string DescribeRoute(const RouteBlock& block) {
    std::vector<Hop> hops(kMaxHops);
    for (size_t i = 0; i < hops.size(); ++i) {
        hops[i].seen = hops[i].answered = false;
        hops[i].address = MakeSpan(NULL, NULL);
        hops[i].lossPercent = -1;
    }
    bool anyOutput = false, timedOut = false;
    const char* at = block.outputBegin;
    Span line;
    while (NextLine(&at, block.outputEnd, &line)) {
        if (!Trim(line).Empty()) anyOutput = true;
        if (StartsWith(line, "-> canceled by Diagnova due to timeout")) timedOut = true;
        else ReadHopLine(line, &hops);
    }

    std::vector<std::string> parts;
    if (!anyOutput) parts.push_back("the tracer wrote nothing");
    size_t lastAnswered = 0, lastSeen = 0;
    bool reached = false;
    for (size_t n = 1; n < hops.size(); ++n) {
        if (!hops[n].seen) continue;
        lastSeen = n;
        if (!hops[n].answered) continue;
        lastAnswered = n;
        if (EqualsNoCase(hops[n].address, block.target)) reached = true;
    }
    if (lastSeen != 0 && !reached) {
        std::string part;
        if (lastAnswered == 0) {
            part = "no hop answered";
        } else if (lastSeen > lastAnswered) {
            part = "no answer after hop ";
            AppendNumber(&part, lastAnswered);
            part += " (";
            AppendPiece(&part, hops[lastAnswered].address, 40);
            part += ")";
        } else {
            part = "ends at hop ";
            AppendNumber(&part, lastAnswered);
            part += " (";
            AppendPiece(&part, hops[lastAnswered].address, 40);
            part += ") short of the server";
        }
        parts.push_back(part);
    }
    std::string loss;
    size_t lossHops = 0;
    for (size_t n = 1; n < hops.size(); ++n) {
        if (!hops[n].answered || hops[n].lossPercent <= 0) continue;
        if (++lossHops > kListedPerKind) continue;
        loss += lossHops == 1 ? "loss at hop " : ", hop ";
        AppendNumber(&loss, n);
        if (!hops[n].address.Empty()) {
            loss += " (";
            AppendPiece(&loss, hops[n].address, 40);
            loss += ")";
        }
        loss += " ";
        AppendNumber(&loss, static_cast<unsigned long>(hops[n].lossPercent));
        loss += "%";
    }
    if (lossHops > kListedPerKind) loss += ", ...";
    if (!loss.empty()) parts.push_back(loss);
    if (timedOut) parts.push_back("stopped at the time limit");
    if (parts.empty()) return std::string();

    std::string text = "Route to ";
    AppendPiece(&text, block.target, 40);
    if (!block.label.Empty()) {
        text += " (";
        AppendPiece(&text, block.label, 40);
        text += ")";
    }
    text += ": ";
    for (size_t i = 0; i < parts.size(); ++i) {
        if (i > 0) text += "; ";
        text += parts[i];
    }
    return text;
}

// "Route for [label:region] (address)": label and address.
bool ParseRouteHeading(Span line, RouteBlock* block) {
    if (!StartsWith(line, "Route for [") || !EndsWith(line, ")")) return false;
    const char* open = FindLast(line, " (");
    if (open == NULL || open < line.begin + strlen("Route for [")) return false;
    const Span bracket = MakeSpan(line.begin + strlen("Route for ["), open);
    if (!EndsWith(bracket, "]")) return false;
    const Span labelAndRegion = MakeSpan(bracket.begin, bracket.end - 1);
    const char* colon = FindLast(labelAndRegion, ":");
    block->label = colon != NULL ? MakeSpan(labelAndRegion.begin, colon) : labelAndRegion;
    block->target = MakeSpan(open + 2, line.end - 1);
    return true;
}

void FindRouteFindings(const Section* section, std::vector<Span>* reportHosts, FindingList* findings) {
    if (section == NULL) return;
    std::vector<std::string> routes;
    std::vector<Span> unresolved;
    size_t routeCount = 0, unresolvedCount = 0;
    RouteBlock block;
    bool inBlock = false;
    const char* at = section->body.begin;
    const char* lineStart = at;
    Span line;
    while (lineStart = at, NextLine(&at, section->body.end, &line)) {
        const char* look = at;
        Span heading, rule;
        RouteBlock next;
        if (IsDashRule(line) && NextLine(&look, section->body.end, &heading) && ParseRouteHeading(heading, &next) &&
            NextLine(&look, section->body.end, &rule) && IsDashRule(rule)) {
            if (inBlock) {
                block.outputEnd = lineStart;
                const std::string text = DescribeRoute(block);
                if (!text.empty() && ++routeCount <= kMaxKept) routes.push_back(text);
            }
            block = next;
            block.outputBegin = look;
            inBlock = true;
            at = look;
            continue;
        }
        if (!inBlock && StartsWith(line, "failed to get ip address for ")) {
            const Span host = Trim(MakeSpan(line.begin + strlen("failed to get ip address for "), line.end));
            ++unresolvedCount;
            if (unresolved.size() < kMaxKept) unresolved.push_back(host);
            if (reportHosts->size() < 3 * kMaxKept) reportHosts->push_back(host);
        }
    }
    if (inBlock) {
        block.outputEnd = section->body.end;
        const std::string text = DescribeRoute(block);
        if (!text.empty() && ++routeCount <= kMaxKept) routes.push_back(text);
    }
    for (size_t i = 0; i < unresolved.size() && i < kListedPerKind; ++i) {
        std::string text = "Game server name not resolved: ";
        AppendText(&text, unresolved[i]);
        findings->Add(text);
    }
    findings->AddMore(kListedPerKind, unresolvedCount, "server name not resolved for route tracing",
                      "server names not resolved for route tracing");
    // Two traces of one address under one label read the same: count them once.
    size_t listed = 0, distinct = 0;
    for (size_t i = 0; i < routes.size(); ++i) {
        bool repeat = false;
        for (size_t j = 0; j < i && !repeat; ++j) repeat = routes[j] == routes[i];
        if (repeat) continue;
        ++distinct;
        if (listed < kListedPerKind) {
            findings->Add(routes[i]);
            ++listed;
        }
    }
    findings->AddMore(listed, distinct + (routeCount - routes.size()), "route with problems", "routes with problems");
}

// ---- Hosts file ------------------------------------------------------------

// The site of a host name: its last two labels ("runeveil2.example"), or an
// empty span for an address or a single label.
Span SiteOf(Span host) {
    bool numeric = true;
    for (const char* p = host.begin; p < host.end; ++p)
        if (!((*p >= '0' && *p <= '9') || *p == '.')) numeric = false;
    if (numeric) return MakeSpan(host.end, host.end);
    int dots = 0;
    for (const char* p = host.end; p > host.begin; --p)
        if (p[-1] == '.' && ++dots == 2) return MakeSpan(p, host.end);
    return dots == 1 ? host : MakeSpan(host.end, host.end);
}

Span HostOfUrl(const char* url) {
    Span s = MakeSpan(url, url + strlen(url));
    const char* scheme = Find(s, "://");
    if (scheme != NULL) s.begin = scheme + 3;
    const char* slash = Find(s, "/");
    if (slash != NULL) s.end = slash;
    return s;
}

// The game's and the publisher's host names this program knows.
std::vector<Span> KnownHosts() {
    std::vector<Span> hosts;
    const struct {
        const ServerEntry* entries;
        size_t count;
    } lists[] = {
        {kRuneveilServers, sizeof kRuneveilServers / sizeof kRuneveilServers[0]},
        {kRuneveil2Servers, sizeof kRuneveil2Servers / sizeof kRuneveil2Servers[0]},
        {kKharros2Servers, sizeof kKharros2Servers / sizeof kKharros2Servers[0]},
        {kSolmereServers, sizeof kSolmereServers / sizeof kSolmereServers[0]},
    };
    for (size_t l = 0; l < sizeof lists / sizeof lists[0]; ++l)
        for (size_t i = 0; i < lists[l].count; ++i) {
            const char* host = lists[l].entries[i].host;
            hosts.push_back(MakeSpan(host, host + strlen(host)));
        }
    static const char* const kPublisherHosts[] = {
        DEPLOY_UPDATE_HOST,          DEPLOY_WEB_PUBLISHER_US,      DEPLOY_WEB_PUBLISHER_EU,
        DEPLOY_WEB_PUBLISHER_KR,     DEPLOY_WEB_PUBLISHER_SUPPORT, DEPLOY_WEB_PUBLISHER_ACCOUNT,
        DEPLOY_WEB_PUBLISHER_NEWS,   DEPLOY_WEB_RV_SUPPORT,        DEPLOY_WEB_RV_SITE,
        DEPLOY_WEB_RV2_SUPPORT,      DEPLOY_WEB_K2_SUPPORT,        DEPLOY_WEB_SOL_SUPPORT,
    };
    for (size_t i = 0; i < sizeof kPublisherHosts / sizeof kPublisherHosts[0]; ++i)
        hosts.push_back(MakeSpan(kPublisherHosts[i], kPublisherHosts[i] + strlen(kPublisherHosts[i])));
    hosts.push_back(HostOfUrl(DEPLOY_EXTERNAL_ADDRESS_URL));
    return hosts;
}

// A name in the hosts file that the report itself lists as a game server,
// or any name on the site of a host this program knows.
bool IsGameOrPublisherName(Span name, const std::vector<Span>& sites, const std::vector<Span>& reportHosts) {
    for (size_t i = 0; i < reportHosts.size(); ++i)
        if (EqualsNoCase(name, reportHosts[i])) return true;
    for (size_t i = 0; i < sites.size(); ++i) {
        const size_t n = sites[i].Size();
        if (name.Size() < n || !EqualsNoCase(MakeSpan(name.end - n, name.end), sites[i])) continue;
        if (name.Size() == n || name.end[-static_cast<ptrdiff_t>(n) - 1] == '.') return true;
    }
    return false;
}

void FindHostsFindings(const Section* section, const std::vector<Span>& reportHosts, FindingList* findings) {
    if (section == NULL) return;
    const std::vector<Span> known = KnownHosts();
    std::vector<Span> sites;
    for (size_t i = 0; i < known.size(); ++i) {
        const Span site = SiteOf(known[i]);
        bool listed = site.Empty();
        for (size_t j = 0; j < sites.size() && !listed; ++j) listed = EqualsNoCase(sites[j], site);
        if (!listed) sites.push_back(site);
    }
    std::vector<std::string> entries;
    size_t count = 0;
    const char* at = section->body.begin;
    Span line;
    while (NextLine(&at, section->body.end, &line)) {
        if (StartsWith(line, "*--> ")) continue;
        const char* hash = static_cast<const char*>(memchr(line.begin, '#', line.Size()));
        Span rest = MakeSpan(line.begin, hash != NULL ? hash : line.end);
        Span address, name;
        if (!NextWord(&rest, &address)) continue;
        while (NextWord(&rest, &name)) {
            if (!IsGameOrPublisherName(name, sites, reportHosts)) continue;
            if (++count > kMaxKept) continue;
            std::string text = "Hosts file sends ";
            AppendText(&text, name);
            text += " to ";
            AppendPiece(&text, address, 40);
            entries.push_back(text);
        }
    }
    for (size_t i = 0; i < entries.size() && i < kListedPerKind; ++i) findings->Add(entries[i]);
    findings->AddMore(kListedPerKind, count, "hosts file entry for the game's or publisher's hosts",
                      "hosts file entries for the game's or publisher's hosts");
}

// ---- Proxy, Winsock providers, browser helpers, external address -------------

// "Name : value" lines of the proxy section.
bool ReadField(Span line, const char* name, Span* value) {
    if (!StartsWith(line, name)) return false;
    Span rest = MakeSpan(line.begin + strlen(name), line.end);
    SkipBlanks(&rest);
    if (rest.Empty() || *rest.begin != ':') return false;
    *value = Trim(MakeSpan(rest.begin + 1, rest.end));
    return true;
}

bool IsNullText(Span value) { return value.Empty() || Equals(value, "(null)"); }

void FindProxyFindings(const Section* section, FindingList* findings) {
    if (section == NULL) return;
    Span autoConfig = MakeSpan(NULL, NULL), enabled = autoConfig, server = autoConfig, value;
    const char* at = section->body.begin;
    Span line;
    while (NextLine(&at, section->body.end, &line)) {
        if (ReadField(line, "Auto Config", &value) && autoConfig.begin == NULL) autoConfig = value;
        else if (ReadField(line, "Enabled", &value) && enabled.begin == NULL) enabled = value;
        else if (ReadField(line, "Server", &value) && server.begin == NULL) server = value;
    }
    if (enabled.begin != NULL && Equals(enabled, "ON")) {
        std::string text = "Proxy is on: ";
        if (IsNullText(server)) text += "no server named";
        else AppendPiece(&text, server, 80);
        findings->Add(text);
    }
    if (autoConfig.begin != NULL && !IsNullText(autoConfig)) {
        std::string text = "Proxy auto-configuration script: ";
        AppendPiece(&text, autoConfig, 80);
        findings->Add(text);
    }
}

// Providers Windows installs itself, found in its system folder.
bool IsWindowsProvider(Span path) {
    static const char* const kWindowsProviders[] = {
        "mswsock.dll", "msafd.dll",   "rsvpsp.dll",  "wshbth.dll",   "vsocklib.dll", "hvsocket.dll",
        "wshqos.dll",  "wshtcpip.dll", "wship6.dll", "wshirda.dll",  "wshnetbs.dll", "wshisn.dll",
        "wshatm.dll",  "wshrm.dll",   "nwprovau.dll", "winrnr.dll",  "nlaapi.dll",   "napinsp.dll",
        "pnrpnsp.dll",
    };
    const char* slash = NULL;
    for (const char* p = path.begin; p < path.end; ++p)
        if (*p == '\\' || *p == '/') slash = p;
    if (slash == NULL) return false;
    const Span folder = MakeSpan(path.begin, slash), file = MakeSpan(slash + 1, path.end);
    if (!EndsWithNoCase(folder, "\\system32") && !EndsWithNoCase(folder, "\\syswow64")) return false;
    for (size_t i = 0; i < sizeof kWindowsProviders / sizeof kWindowsProviders[0]; ++i)
        if (EqualsNoCase(file, kWindowsProviders[i])) return true;
    return false;
}

struct Provider {
    bool transport;
    Span type, description, path;
};

void JudgeProvider(const Provider& provider, std::vector<std::string>* foreign, size_t* count) {
    if (!provider.transport) return;  // name-space entries carry no path to judge by
    const bool layered = Find(provider.type, "Layered") != NULL;
    if (!layered && (provider.path.Empty() || IsWindowsProvider(provider.path))) return;
    std::string text = "Winsock provider not from Windows: ";
    AppendText(&text, provider.description.Empty() ? provider.type : provider.description);
    if (!provider.path.Empty()) {
        text += " (";
        AppendText(&text, provider.path);
        text += ")";
    }
    // A layered provider appears once per protocol it wraps: list it once.
    for (size_t i = 0; i < foreign->size(); ++i)
        if ((*foreign)[i] == text) return;
    if (++*count <= kMaxKept) foreign->push_back(text);
}

void FindWinsockFindings(const Section* section, FindingList* findings) {
    if (section == NULL) return;
    std::vector<std::string> foreign;
    size_t count = 0;
    Provider provider = {false, MakeSpan(NULL, NULL), MakeSpan(NULL, NULL), MakeSpan(NULL, NULL)};
    bool inEntry = false;
    const char* at = section->body.begin;
    Span line, value;
    while (NextLine(&at, section->body.end, &line)) {
        const Span trimmed = Trim(line);
        const bool transport = Equals(trimmed, "Winsock Catalog Provider Entry");
        if (transport || Equals(trimmed, "Name Space Provider Entry")) {
            if (inEntry) JudgeProvider(provider, &foreign, &count);
            provider.transport = transport;
            provider.type = provider.description = provider.path = MakeSpan(NULL, NULL);
            inEntry = true;
            continue;
        }
        if (!inEntry) continue;
        if (ReadField(trimmed, "Entry Type", &value) && provider.type.Empty()) provider.type = value;
        else if (ReadField(trimmed, "Description", &value) && provider.description.Empty())
            provider.description = value;
        else if (ReadField(trimmed, "Provider Path", &value) && provider.path.Empty()) provider.path = value;
    }
    if (inEntry) JudgeProvider(provider, &foreign, &count);
    for (size_t i = 0; i < foreign.size() && i < kListedPerKind; ++i) findings->Add(foreign[i]);
    findings->AddMore(kListedPerKind, count, "Winsock provider not from Windows", "Winsock providers not from Windows");
}

void FindBhoFindings(const Section* section, FindingList* findings) {
    if (section == NULL) return;
    std::vector<std::string> helpers;
    size_t count = 0;
    std::string current;
    bool inHelper = false;
    const char* at = section->body.begin;
    Span line, value;
    while (NextLine(&at, section->body.end, &line)) {
        if (StartsWith(line, "- ")) {
            if (inHelper && ++count <= kMaxKept) helpers.push_back(current);
            current = "Browser helper object: ";
            AppendText(&current, MakeSpan(line.begin + 2, line.end));
            inHelper = true;
        } else if (inHelper && ReadField(Trim(line), "Install Path", &value) && !value.Empty()) {
            current += " (";
            AppendText(&current, value);
            current += ")";
        }
    }
    if (inHelper && ++count <= kMaxKept) helpers.push_back(current);
    for (size_t i = 0; i < helpers.size() && i < kListedPerKind; ++i) findings->Add(helpers[i]);
    findings->AddMore(kListedPerKind, count, "browser helper object", "browser helper objects");
}

void FindExternalAddressFindings(const Section* section, FindingList* findings) {
    if (section == NULL) return;
    const char* at = section->body.begin;
    Span line;
    while (NextLine(&at, section->body.end, &line))
        if (StartsWith(line, "Current IP Address: ") &&
            !Trim(MakeSpan(line.begin + strlen("Current IP Address: "), line.end)).Empty())
            return;
    findings->Add("No external address: the address page could not be read");
}

// ---- Account and system --------------------------------------------------------

// "An user \"%s\" is an %s, and UAC is %s", read from its end: the name may
// hold anything.
void FindAccountFindings(const Section* section, FindingList* findings) {
    if (section == NULL) return;
    const char* at = section->body.begin;
    Span line;
    while (NextLine(&at, section->body.end, &line)) {
        if (!StartsWith(line, "An user \"")) continue;
        const char* uac = FindLast(line, ", and UAC is ");
        if (uac == NULL) return;
        const char* level = FindLast(MakeSpan(line.begin, uac), "\" is an ");
        if (level == NULL || level < line.begin + strlen("An user ")) return;
        const Span name = MakeSpan(line.begin + strlen("An user \""), level);
        if (Equals(MakeSpan(level + strlen("\" is an "), uac), "User")) {
            std::string text = "Not an administrator: the test ran as ";
            AppendText(&text, name);
            findings->Add(text);
        }
        if (Equals(MakeSpan(uac + strlen(", and UAC is "), line.end), "Disabled")) findings->Add("UAC is off");
        return;
    }
}

const char* WindowsName(unsigned long major, unsigned long minor) {
    static const struct {
        unsigned long major, minor;
        const char* name;
    } kNames[] = {
        {4, 0, "NT 4 or 95"}, {4, 10, "98"}, {4, 90, "Me"}, {5, 0, "2000"}, {5, 1, "XP"},
        {5, 2, "Server 2003 or XP x64"}, {6, 0, "Vista"}, {6, 1, "7"}, {6, 2, "8 or later"},
        {6, 3, "8.1"}, {10, 0, "10"},
    };
    for (size_t i = 0; i < sizeof kNames / sizeof kNames[0]; ++i)
        if (kNames[i].major == major && kNames[i].minor == minor) return kNames[i].name;
    return NULL;
}

// "Windows 7 SP1 (6.1 build 7601), 64-bit; DirectX 11" from the version lines
// after the DirectX diagnostic and the version line of dxdiag's own report.
void FindSystemFindings(const Section* section, FindingList* findings) {
    if (section == NULL) return;
    Span version = MakeSpan(NULL, NULL), build = version, servicePack = version, bits = version, directX = version;
    const char* at = section->body.begin;
    Span line;
    while (NextLine(&at, section->body.end, &line)) {
        const Span trimmed = Trim(line);
        if (directX.begin == NULL && StartsWith(trimmed, "DirectX Version:")) {
            directX = Trim(MakeSpan(trimmed.begin + strlen("DirectX Version:"), trimmed.end));
            while (!directX.Empty() && (*directX.begin == '=' || *directX.begin == '"' || IsBlank(*directX.begin)))
                ++directX.begin;
            while (!directX.Empty() && directX.end[-1] == '"') --directX.end;
            continue;
        }
        if (!StartsWith(line, "Windows Version: ")) continue;
        version = MakeSpan(line.begin + strlen("Windows Version: "), line.end);
        build = servicePack = bits = MakeSpan(NULL, NULL);
        const char* look = at;
        Span next;
        if (NextLine(&look, section->body.end, &next) && StartsWith(next, "Build ")) {
            build = MakeSpan(next.begin + strlen("Build "), next.end);
            if (NextLine(&look, section->body.end, &next) && !StartsWith(next, "Processor bit : ")) {
                servicePack = Trim(next);
                if (!NextLine(&look, section->body.end, &next)) next = MakeSpan(NULL, NULL);
            }
            if (StartsWith(next, "Processor bit : "))
                bits = MakeSpan(next.begin + strlen("Processor bit : "), next.end);
        }
    }
    if (version.begin == NULL && directX.begin == NULL) return;

    std::string text = "Windows ";
    if (version.begin == NULL) {
        text += "version unknown";
    } else {
        Span numbers = version;
        unsigned long major = 0, minor = 0;
        const char* name = NULL;
        if (ParseNumber(&numbers, &major) && !numbers.Empty() && *numbers.begin == '.' &&
            (++numbers.begin, ParseNumber(&numbers, &minor)) && numbers.Empty())
            name = WindowsName(major, minor);
        if (name != NULL) {
            text += name;
            text += " ";
        }
        if (!servicePack.Empty()) {
            if (StartsWith(servicePack, "Service Pack ")) {
                text += "SP";
                AppendPiece(&text, MakeSpan(servicePack.begin + strlen("Service Pack "), servicePack.end), 8);
            } else {
                AppendPiece(&text, servicePack, 24);
            }
            text += " ";
        }
        text += "(";
        AppendPiece(&text, version, 12);
        if (!build.Empty()) {
            text += " build ";
            AppendPiece(&text, build, 12);
        }
        text += ")";
        if (!bits.Empty()) {
            text += ", ";
            AppendPiece(&text, bits, 4);
            text += "-bit";
        }
    }
    text += "; ";
    if (directX.Empty()) {
        text += "DirectX version unknown";
    } else {
        if (!StartsWith(directX, "DirectX")) text += "DirectX ";
        AppendPiece(&text, directX, 40);
    }
    findings->Add(text);
}

}  // namespace

ReportFindings FindReportFindings(const char* text, size_t length) {
    ReportFindings result;
    if (text == NULL) length = 0;
    const char* end = text + length;
    result.game = ReadGame(text, end);
    FindingList findings(&result.lines);
    const char* contentEnd = end;
    if (!HasDigestTrailer(text, end, &contentEnd))
        findings.Add("Report not sealed: the test was cancelled, or the report was cut or changed");

    const std::vector<Section> sections = FindSections(text, contentEnd);
    std::vector<Span> reportHosts;
    FindInstallFindings(FindSection(sections, "Installed games"), result.game, &findings);
    FindConnectFindings(FindSection(sections, "Checking server connectivity"), &reportHosts, &findings);
    CollectAddressHosts(FindSection(sections, "Gathering IP addresses"), &reportHosts);
    FindRouteFindings(FindSection(sections, "Tracing network paths"), &reportHosts, &findings);
    FindHostsFindings(FindSection(sections, "Collecting Hosts file content"), reportHosts, &findings);
    FindProxyFindings(FindSection(sections, "IE proxy setting"), &findings);
    FindWinsockFindings(FindSection(sections, "Gathering LSP list"), &findings);
    FindBhoFindings(FindSection(sections, "Gathering BHO list"), &findings);
    FindExternalAddressFindings(FindSection(sections, "Discovering external address"), &findings);
    FindAccountFindings(FindSection(sections, "information about the UAC status and user level"), &findings);
    FindSystemFindings(FindSection(sections, "Running DirectX diagnostic"), &findings);
    return result;
}
