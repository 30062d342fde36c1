// Doctor's verdicts on the facts it gathered, each check's ok, warning or problem, a warning or
// problem ending with what to do; and the report of them as text and as JSON.
#include "Diagnosis.h"

#include "Output.h"
#include "SettingsFile.h"
#include "Terminal.h"

#include "KestIni.h"
#include "KestMyCertSettings.h"
#include "KestMyCertText.h"
#include "KestResultMessages.h"

#include <algorithm>
#include <cctype>
#include <string_view>
#include <utility>

namespace kest::tool {
namespace {

// How many catalogue findings and left-out certificates a line names before it just counts.
constexpr std::size_t kNamedAtMost = 3;
// What to do, said alike by several lines.
constexpr char kSetInstallation[] =
    "set the installation directory in the installation's settings (kesttool install-dir <folder> with the stand-in)";
constexpr char kSetOmit[] = "set it with kesttool omit set or kesttool omit clear";
// UTF-8, as the report is: é and ü in escapes, as code page 932 has no bytes for them.
constexpr char kUnspellable[] =
    "install into a folder whose name the code page can spell (no letters beyond Japanese Windows' code page "
    "932, such as \xc3\xa9"
    ", \xc3\xbc"
    " or Hangul), and set it as the installation directory";
constexpr char kImportKey[] = "import the certificate with its key (kesttool add-p12 <file.p12>)";
constexpr char kMarkAValidOne[] = "mark a valid certificate with kesttool mark <index> (kesttool list names them)";

std::string fromAnsi(std::string_view text) { return toUtf8(text, CP_ACP); }

std::string messageOf(ResultCode code) { return toUtf8(resultMessage(code), kMessageCodePage); }

std::string plural(std::size_t count, const char* one, const char* many) {
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

// A certificate as the lines name it.
struct Certificate {
    const StoreCertificate* record;
    unsigned index;  // in the list, from 1; 0 for one the list leaves out

    // Its id as the library makes it; none when it would not fit, as the library then gives
    // the record none: it is never stored and never matches.
    [[nodiscard]] std::optional<std::string> id() const {
        char text[mycert::kCertIdSize];
        if (!mycert::formatCertId(record->serial.c_str(), record->issuer.c_str(), text)) return std::nullopt;
        return std::string(text);
    }
    [[nodiscard]] std::string named() const {
        const std::optional<std::string> known = id();
        return fromAnsi(record->subject + (known ? " (" + *known + ")" : " (no id: serial and issuer too long)"));
    }
    [[nodiscard]] bool expired(const std::string& now) const { return record->notAfter < now; }
    [[nodiscard]] bool notYetValid(const std::string& now) const { return record->notBefore > now; }
    [[nodiscard]] bool valid(const std::string& now) const { return !expired(now) && !notYetValid(now); }
    [[nodiscard]] std::string validityProblem(const std::string& now) const {
        if (expired(now)) return "expired on " + record->notAfter + " UTC";
        if (notYetValid(now)) return "not valid before " + record->notBefore + " UTC";
        return {};
    }
    [[nodiscard]] bool sameHolder(const Certificate& other) const {
        return record->subject == other.record->subject && record->issuer == other.record->issuer;
    }
    [[nodiscard]] std::string markCommand() const { return "kesttool mark " + std::to_string(index); }
};

std::vector<Certificate> certificatesOf(const std::vector<StoreCertificate>& records, bool listed) {
    std::vector<Certificate> certificates;
    certificates.reserve(records.size());
    for (const StoreCertificate& record : records)
        certificates.push_back({&record, listed ? static_cast<unsigned>(certificates.size() + 1) : 0});
    return certificates;
}

class Judge {
public:
    explicit Judge(const Diagnosis& facts)
        : facts_(facts),
          listed_(certificatesOf(facts.certificates.listed, true)),
          withoutKey_(certificatesOf(facts.certificates.withoutKey, false)) {}

    std::vector<Finding> findings() && {
        judgeInstallation();
        judgeSettings();
        judgeCatalogue();
        judgeLog();
        judgeCertificates();
        judgeCandidates();
        return std::move(findings_);
    }

private:
    void add(const char* check, Status status, std::string text, std::string remedy = {},
             std::optional<ResultCode> code = std::nullopt) {
        findings_.push_back({check, status, std::move(text), std::move(remedy), code});
    }

    void judgeInstallation() {
        const Diagnosis::Installation& installation = facts_.installation;
        if (!installation.directory) {
            add(kInstallationCheck, Status::problem,
                std::string("KestInstallPath gives no installation directory; ") + kSetInstallation);
            return;
        }
        if (installation.isFolder)
            add(kInstallationCheck, Status::ok, fromAnsi(*installation.directory));
        else if (installation.unspellable)
            add(kInstallationCheck, Status::problem,
                fromAnsi(*installation.directory) + ": no such folder as the ANSI code page spells it; the folder is " +
                    *installation.unspellable +
                    ", a name the code page cannot spell, so the libraries' ANSI calls miss it and everything in "
                    "it; " +
                    kUnspellable);
        else
            add(kInstallationCheck, Status::problem,
                fromAnsi(*installation.directory) + ": no such folder; " + kSetInstallation);
    }

    void judgeSettings() {
        const Diagnosis::Settings& settings = facts_.settings;
        if (settings.pathCode == KEST_E_NO_SETTINGS_FILE) {
            // Restoring the file would not help where the folder's name is what is missed.
            add(kSettingsCheck, Status::problem, fromAnsi(settings.path) + " not found: no candidates, no omit flag",
                facts_.installation.unspellable ? std::string("see the installation line: ") + kUnspellable
                                                : std::string("restore it from the installation"),
                settings.pathCode);
            return;
        }
        if (settings.pathCode != KEST_OK) {
            add(kSettingsCheck, Status::problem, "no settings file without an installation directory", kSetInstallation,
                settings.pathCode);
            return;
        }
        const std::string where = fromAnsi(settings.path) + ": ";
        if (settings.encoding)
            if (const std::optional<SettingsEncoding> encoding =
                    settingsEncoding(*settings.encoding, settings.firstNul))
                add(kSettingsCheck, encoding->problem ? Status::problem : Status::warning,
                    where + encoding->effect + "; " + kSaveAsShiftJis);
        judgeSettingsWritable(where);
        judgeUnreadSettings(where);
        judgeRepeatedSections(where);

        if (settings.omitCode == KEST_OK)
            add(kSettingsCheck, Status::ok,
                where + (settings.omit ? "OmitSelectCert=1, the certificate choice is skipped"
                                       : "OmitSelectCert=0, the certificate choice is shown"));
        else if (settings.omitCode == KEST_E_SETTINGS_READ)
            add(kSettingsCheck, Status::warning,
                where + "no OmitSelectCert: the host decides whether to show the choice", kSetOmit, settings.omitCode);
        else
            add(kSettingsCheck, Status::problem, where + "OmitSelectCert is neither 0 nor 1", kSetOmit,
                settings.omitCode);
    }

    // The host writes the user's choice back.
    void judgeSettingsWritable(const std::string& where) {
        const char* const lost = "the host cannot save the user's choice of certificate or the omit flag";
        const DWORD error = facts_.settings.writeRefusal;
        if (error == ERROR_FILE_READ_ONLY)
            add(kSettingsCheck, Status::problem,
                where + "read-only: " + lost + "; clear its read-only attribute (attrib -r " +
                    fromAnsi(facts_.settings.path) + ")");
        else if (error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION)
            add(kSettingsCheck, Status::problem,
                where + "another program holds it open (error " + std::to_string(error) +
                    "), a backup or sync client or an editor: the host can neither read the candidates nor save the "
                    "user's choice while it does; close that program, or keep it away from this file");
        else if (error != ERROR_SUCCESS)
            add(kSettingsCheck, Status::problem,
                where + "cannot be opened for writing (error " + std::to_string(error) + "): " + lost +
                    "; give the user the right to write it");
    }

    void judgeUnreadSettings(const std::string& where) {
        const std::vector<std::string> unread = unreadSettings(facts_.settings.sections, facts_.settings.keys);
        if (unread.empty()) return;
        std::string text = where + "nothing reads ";
        for (std::size_t i = 0; i < unread.size(); ++i) text += (i == 0 ? "" : ", ") + fromAnsi(unread[i]);
        add(kSettingsCheck, Status::warning,
            text + "; rename them: the library reads [" + mycert::kSettingsSection + "] with " +
                mycert::kOmitSelectCertKey + " and CertId_0000, CertId_0001, ...");
    }

    // A person reads every section of the name; the profile functions the first alone.
    void judgeRepeatedSections(const std::string& where) {
        const std::vector<std::string> repeated = repeatedSections(facts_.settings.sections);
        if (repeated.empty()) return;
        std::string text =
            where + "[" + mycert::kSettingsSection + "] is there " + std::to_string(repeated.size() + 1) +
            " times: the profile functions read the first alone, " + "so the library never reads the keys of ";
        for (std::size_t i = 0; i < repeated.size(); ++i)
            text += (i == 0 ? "the later " : ", ") + fromAnsi("[" + repeated[i] + "]");
        add(kSettingsCheck, Status::warning, text + "; move them into the first");
    }

    void judgeCatalogue() {
        if (!facts_.catalogueChecked()) {
            add(kCatalogueCheck, Status::warning,
                "not checked without an installation directory; " + std::string(kSetInstallation));
            return;
        }
        const Diagnosis::Catalogue& catalogue = facts_.catalogue;
        const std::string path = fromAnsi(cataloguePath(*facts_.installation.directory));
        const std::string where = path + ": ";
        if (!catalogue.read) {
            add(kCatalogueCheck, Status::problem,
                path + " not found: error boxes cannot show their texts; " +
                    (facts_.installation.unspellable ? std::string("see the installation line: ") + kUnspellable
                                                     : std::string("restore it from the installation")));
            return;
        }
        if (catalogue.encoding)
            add(kCatalogueCheck, Status::problem, where + toUtf8(catalogue.encoding->text, kMessageCodePage));
        const std::vector<CatalogueFinding>& found = catalogue.findings;
        if (found.empty()) {
            add(kCatalogueCheck, Status::ok, where + "no findings");
            return;
        }
        const auto withoutMessage = static_cast<std::size_t>(std::count_if(
            found.begin(), found.end(), [](const CatalogueFinding& finding) { return finding.codeWithoutMessage; }));
        const std::size_t codes = std::size(kResultMessages);
        const std::string listAll = "kesttool check-catalogue " + path + " lists them all";
        // Most boxes without their text is a catalogue that does not work, not one to tidy.
        if (withoutMessage * 2 > codes) {
            add(kCatalogueCheck, Status::problem,
                where + std::to_string(withoutMessage) + " of the " + std::to_string(codes) +
                    " codes have no usable line, their boxes say only that no message was found; mend the file (" +
                    listAll + ")");
            return;
        }
        std::string text = where + plural(found.size(), "finding", "findings");
        for (std::size_t i = 0; i < found.size() && i < kNamedAtMost; ++i) {
            text += i == 0 ? ": " : "; ";
            if (found[i].line != 0) text += "line " + std::to_string(found[i].line) + ": ";
            text += toUtf8(found[i].text, kMessageCodePage);
        }
        if (found.size() > kNamedAtMost) text += "; ...";
        add(kCatalogueCheck, Status::warning, text + "; mend them (" + listAll + ")");
    }

    void judgeLog() {
        const Diagnosis::Log& log = facts_.log;
        if (!log.on) {
            add(kLogCheck, Status::ok, "off");
            return;
        }
        const std::string text = "on, " + fromAnsi(log.destination.where);
        switch (log.destination.verdict) {
            case LogDestination::Verdict::written: add(kLogCheck, Status::ok, text); return;
            case LogDestination::Verdict::elsewhere:
            case LogDestination::Verdict::unknown:
                add(kLogCheck, Status::warning, text, fromAnsi(log.destination.remedy));
                return;
            case LogDestination::Verdict::dropped:
                add(kLogCheck, Status::problem, text, fromAnsi(log.destination.remedy));
                return;
        }
    }

    void judgeCertificates() {
        const Diagnosis::Certificates& certificates = facts_.certificates;
        if (certificates.listCode != KEST_OK) {
            add(kCertificatesCheck, Status::problem, "the personal store's list cannot be made",
                "kesttool doctor --trace shows the library's records", certificates.listCode);
            return;
        }
        const std::string& now = facts_.now;
        for (const Certificate& certificate : listed_) {
            if (certificate.expired(now))
                add(kCertificatesCheck, Status::warning,
                    certificate.named() + ": " + certificate.validityProblem(now) +
                        "; renew it, or take it out with kesttool remove " + std::to_string(certificate.index));
            else if (certificate.notYetValid(now))
                add(kCertificatesCheck, Status::warning,
                    certificate.named() + ": " + certificate.validityProblem(now) +
                        "; check the computer's clock, or wait until then");
        }
        judgeSharedIds();
        if (listed_.empty())
            add(kCertificatesCheck, Status::problem,
                std::string("no certificate of the personal store has a reachable private key; ") + kImportKey);
        else
            add(kCertificatesCheck, Status::ok,
                plural(listed_.size(), "certificate", "certificates") + " with a reachable private key");

        if (!certificates.storeWalked) {
            add(kCertificatesCheck, Status::warning,
                "the personal store cannot be walked for certificates without a key; check the store with certmgr.msc");
            return;
        }
        if (withoutKey_.empty()) {
            add(kCertificatesCheck, Status::ok, "none left out for an unreachable private key");
            return;
        }
        std::string text = plural(withoutKey_.size(), "certificate", "certificates") +
                           " of the personal store left out, their private key cannot be reached: ";
        for (std::size_t i = 0; i < withoutKey_.size() && i < kNamedAtMost; ++i)
            text += (i == 0 ? "" : ", ") + withoutKey_[i].named();
        if (withoutKey_.size() > kNamedAtMost) text += ", ...";
        add(kCertificatesCheck, Status::warning, text + "; insert the smart card, or " + kImportKey);
    }

    // The last certificate of the list with the id of `certificate`, the one the library finds
    // for that id; itself when no later one shares it.
    [[nodiscard]] const Certificate& lastWithIdOf(const Certificate& certificate) const {
        const Certificate* last = &certificate;
        for (const Certificate& other : listed_)
            if (other.index > last->index && other.id() && other.id() == certificate.id()) last = &other;
        return *last;
    }

    // Certificates of the list that share an id (an in-house CA that reissues under the same
    // serial number): a mark of any of them marks the last, whatever the user chose.
    void judgeSharedIds() {
        for (const Certificate& certificate : listed_) {
            const Certificate& last = lastWithIdOf(certificate);
            if (&last == &certificate || !certificate.id()) continue;
            // Once for each pair with the last: the earlier ones name it.
            add(kCertificatesCheck, Status::warning,
                std::to_string(certificate.index) + ": " + certificate.named() + " and " + std::to_string(last.index) +
                    ": " + last.named() +
                    " carry one id (serial number and issuer): the host always takes the later, " +
                    std::to_string(last.index) +
                    ", so a mark of either marks it; remove the one not wanted with "
                    "kesttool remove <index>" +
                    (certificate.valid(facts_.now) == last.valid(facts_.now)
                         ? std::string()
                         : " (kesttool remove " +
                               std::to_string(certificate.valid(facts_.now) ? last.index : certificate.index) +
                               " for the one not valid)"));
        }
    }

    // The newest valid certificate of the list with the same subject and issuer as `old`, and
    // another id; none if there is none.
    [[nodiscard]] const Certificate* renewalOf(const Certificate& old) const {
        const Certificate* newest = nullptr;
        for (const Certificate& certificate : listed_)
            if (certificate.sameHolder(old) && certificate.id() && certificate.id() != old.id() &&
                certificate.valid(facts_.now) &&
                (newest == nullptr || certificate.record->notBefore > newest->record->notBefore))
                newest = &certificate;
        return newest;
    }

    // A stored id that finds no certificate of the list: what is known of it, and what to do.
    [[nodiscard]] std::string staleIdText(const std::string& id) const {
        std::string serial;
        std::string issuer;
        static_cast<void>(mycert::splitCertId(id, serial, issuer));
        const Certificate* old = nullptr;
        for (const Certificate& certificate : withoutKey_)
            if (certificate.id() == id) old = &certificate;
        const std::string takeOut = "take it out with kesttool unmark \"" + fromAnsi(id) + "\"";
        if (old != nullptr) {
            std::string text = "; in the personal store, but its private key cannot be reached";
            if (const Certificate* renewal = renewalOf(*old))
                return text + "; likely successor (same subject and issuer): " + renewal->named() + "; mark it with " +
                       renewal->markCommand();
            return text + "; insert the smart card, or " + takeOut;
        }
        std::string named;
        const Certificate* first = nullptr;
        for (const Certificate& certificate : listed_) {
            if (certificate.record->issuer != issuer || !certificate.valid(facts_.now)) continue;
            named += (named.empty() ? "" : ", ") + certificate.named();
            if (first == nullptr) first = &certificate;
        }
        std::string text = "; no certificate of the personal store has this id";
        if (first != nullptr)
            return text + "; of the same issuer in the list: " + named + "; if one is its renewal, mark it (" +
                   first->markCommand() + " for the first), else " + takeOut;
        return text + "; " + takeOut;
    }

    // A stored id's certificate: whether it is one the user can sign with.
    bool judgeStoredCandidate(const std::string& key, const Certificate& certificate) {
        const std::string& now = facts_.now;
        const Certificate* renewal = renewalOf(certificate);
        const Certificate* validTwin = nullptr;
        for (const Certificate& other : listed_)
            if (other.index != certificate.index && other.id() == certificate.id() && other.valid(now))
                validTwin = &other;
        if (!certificate.valid(now) && validTwin != nullptr) {
            // Marking the valid one would store the same id, and find this one again.
            add(kCandidatesCheck, Status::warning,
                key + " " + certificate.named() + ": " + certificate.validityProblem(now) + "; the valid " +
                    std::to_string(validTwin->index) +
                    " carries the same id, and the host takes the later in the list; remove the one not valid "
                    "with kesttool remove " +
                    std::to_string(certificate.index));
            return false;
        }
        if (!certificate.valid(now)) {
            add(kCandidatesCheck, Status::warning,
                key + " " + certificate.named() + ": " + certificate.validityProblem(now) +
                    (renewal != nullptr ? "; its renewal " + renewal->named() + " is in the list: mark it with " +
                                              renewal->markCommand()
                                        : "; renew it, or " + std::string(kMarkAValidOne)));
            return false;
        }
        const std::vector<Diagnosis::StoredId>& stored = facts_.candidates.stored;
        if (renewal != nullptr && renewal->record->notBefore > certificate.record->notBefore &&
            std::none_of(stored.begin(), stored.end(),
                         [&](const Diagnosis::StoredId& other) { return other.id == renewal->id(); }))
            add(kCandidatesCheck, Status::warning,
                key + " " + certificate.named() + ": its newer renewal " + renewal->named() +
                    " is in the list and not marked; mark it with " + renewal->markCommand());
        else
            add(kCandidatesCheck, Status::ok, key + " " + certificate.named());
        return true;
    }

    void judgeCandidates() {
        if (!facts_.candidatesChecked()) {
            add(kCandidatesCheck, Status::warning,
                "not checked: no settings file or no list; mend the lines above first");
            return;
        }
        if (facts_.candidates.readCode != KEST_OK) {
            add(kCandidatesCheck, Status::problem,
                "the library cannot read the candidates of " + fromAnsi(facts_.settings.path),
                "close the program that holds the file (the settings line above names why it cannot be read)",
                facts_.candidates.readCode);
            return;
        }
        const std::vector<Diagnosis::StoredId>& stored = facts_.candidates.stored;
        std::size_t usable = 0;
        for (std::size_t n = 0; n < stored.size(); ++n) {
            const std::string key = candidateKey(n);
            if (!stored[n].found) {
                add(kCandidatesCheck, Status::problem,
                    key + " " + fromAnsi(stored[n].id) + " matches no certificate of the list" +
                        staleIdText(stored[n].id));
                continue;
            }
            usable += judgeStoredCandidate(key, listed_.at(*stored[n].found)) ? 1 : 0;
        }
        const bool ignored = judgeIgnoredCandidates(stored.size());
        const bool neverAsked = facts_.settings.omitCode == KEST_OK && facts_.settings.omit == 1;
        const std::string skipped = std::string(": OmitSelectCert=1 skips the choice, so the user is never asked; ") +
                                    kMarkAValidOne + ", or show the choice with kesttool omit clear";
        if (stored.empty()) {
            const char* none = ignored ? "none read" : "none stored";
            if (neverAsked)
                add(kCandidatesCheck, Status::warning, none + skipped);
            else
                add(kCandidatesCheck, Status::ok, none + std::string(": the user chooses"));
        } else if (usable == 0) {
            add(kCandidatesCheck, Status::problem,
                "none of the " + plural(stored.size(), "stored candidate", "stored candidates") +
                    " is a valid certificate of the list" +
                    (neverAsked ? skipped : std::string("; ") + kMarkAValidOne));
        }
    }

    // Candidate keys after the first that is missing or empty, which the library never reads;
    // whether there was one. The empty keys the library leaves behind a shorter list are no news.
    bool judgeIgnoredCandidates(std::size_t read) {
        const std::vector<std::string>& keys = facts_.settings.keys;
        const bool stopIsThere = std::any_of(keys.begin(), keys.end(), [&](const std::string& key) {
            return candidateIndex(key) == std::optional<unsigned>(static_cast<unsigned>(read));
        });
        bool any = false;
        for (const std::string& key : keys) {
            const std::optional<unsigned> n = candidateIndex(key);
            if (!n || *n <= read) continue;
            const auto value = facts_.candidates.valueOf.find(*n);
            if (value == facts_.candidates.valueOf.end() || value->second.empty()) continue;
            any = true;
            add(kCandidatesCheck, Status::warning,
                key + " " + fromAnsi(value->second) +
                    " is never read: the library reads the candidates up to the first key that is missing or empty, "
                    "and " +
                    candidateKey(read) + (stopIsThere ? " is empty" : " is missing") +
                    "; mark its certificate again with kesttool mark <index> (kesttool list names them)");
        }
        return any;
    }

    const Diagnosis& facts_;
    std::vector<Certificate> listed_;
    std::vector<Certificate> withoutKey_;
    std::vector<Finding> findings_;
};

// The widest status and check, so that the columns stand alike in every report.
constexpr std::size_t kStatusWidth = 7;
constexpr std::size_t kCheckWidth = 12;

// The records of a finding's check, in UTF-8.
std::vector<std::string> recordsInUtf8(const Finding& finding, const RecordsByCheck& records) {
    std::vector<std::string> utf8;
    if (const auto found = records.find(finding.check); found != records.end())
        for (const std::string& record : found->second) utf8.push_back(toUtf8(record, kMessageCodePage));
    return utf8;
}

}  // namespace

const char* statusName(Status status) {
    switch (status) {
        case Status::ok: return "ok";
        case Status::warning: return "warning";
        case Status::problem: return "problem";
    }
    return "";
}

std::string cataloguePath(const std::string& directory) { return directory + "\\" + catalogue::kFileName; }

std::vector<Finding> diagnose(const Diagnosis& facts) { return Judge(facts).findings(); }

namespace {

constexpr char kLogOnCommand[] = "kesttool log on <file>";

LogDestination dropped(std::string where, std::string remedy) {
    return {LogDestination::Verdict::dropped, std::move(where), std::move(remedy)};
}

// A name pasted with its quotes: the quotes are no part of a file name.
bool quoted(const std::string& path) { return path.size() >= 2 && path.front() == '"' && path.back() == '"'; }

bool separator(char c) { return c == '\\' || c == '/'; }

// The text after the last separator, walking double-byte characters whole (a Shift_JIS trail
// byte may be a backslash).
std::string finalName(const std::string& path) {
    std::size_t start = 0;
    for (std::size_t i = 0; i < path.size(); ++i) {
        if (IsDBCSLeadByte(static_cast<BYTE>(path[i])) && i + 1 < path.size())
            ++i;
        else if (separator(path[i]))
            start = i + 1;
    }
    return path.substr(start);
}

// CON, PRN, AUX, NUL, COM1-9, LPT1-9, in any letter case, alone or before an extension or a
// colon: Windows opens the device of that name in any folder.
bool dosDeviceName(const std::string& name) {
    std::string base = name.substr(0, name.find_first_of(".:"));
    while (!base.empty() && base.back() == ' ') base.pop_back();
    for (char& c : base) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (base == "CON" || base == "PRN" || base == "AUX" || base == "NUL") return true;
    return base.size() == 4 && (base.compare(0, 3, "COM") == 0 || base.compare(0, 3, "LPT") == 0) && base[3] >= '1' &&
           base[3] <= '9';
}

bool driveLetter(char c) { return std::isalpha(static_cast<unsigned char>(c)) != 0; }

// Windows drops the dots and blanks that end a name's last part.
std::string withoutTrailingDotsAndBlanks(const std::string& path) {
    std::string trimmed = path;
    while (!trimmed.empty() && (trimmed.back() == '.' || trimmed.back() == ' ')) trimmed.pop_back();
    return trimmed;
}

// A name that depends on where the host works: a record lands where the name can be opened
// from this folder too (a file Log opens, or one it makes); anything else may differ there.
LogDestination fromWorkingFolder(const LogFile& facts) {
    const std::string& path = facts.path;
    const std::string to = "to " + path;
    const std::string remedy = std::string("set a full path with its drive letter with ") + kLogOnCommand;
    const bool opensHere =
        facts.exists ? !facts.isFolder && facts.openError == ERROR_SUCCESS : facts.nameError == ERROR_FILE_NOT_FOUND;
    std::string depends = ", a relative path";
    if (facts.kind == PathKind::driveRelative)
        depends = ", a path relative to the host's working folder on drive " + path.substr(0, 2);
    else if (facts.kind == PathKind::rooted)
        depends = ", a path from the root of the host's current drive";
    if (opensHere && (facts.kind != PathKind::relative || facts.folder.empty()))
        return {LogDestination::Verdict::elsewhere,
                to + depends + ": the records go wherever the host was started, not to one file", remedy};
    return {LogDestination::Verdict::unknown,
            to + depends + ": cannot tell where the host is started; the records go to " + path +
                " from there, and are dropped where that " +
                (facts.folder.empty() ? std::string("names no file Log can open or make")
                                      : "holds no folder " + facts.folder),
            remedy};
}

// The name as Windows takes it, the file as Log's open meets it; the environment aside.
LogDestination nameAndFile(const LogFile& facts) {
    const std::string& path = facts.path;
    const std::string to = "to " + path;
    // Windows refuses such a name wherever the host was started.
    if (facts.nameError == ERROR_INVALID_NAME || facts.nameError == ERROR_BAD_PATHNAME)
        return dropped(
            to + ", a name Windows refuses (error " + std::to_string(facts.nameError) + "): every record is dropped",
            quoted(path) ? "take the quotes off: kesttool log on " + path.substr(1, path.size() - 2)
                         : std::string("set a valid file name with ") + kLogOnCommand);
    const std::string name = finalName(path);
    if (facts.kind == PathKind::device)
        return dropped(to + ", a device, not a file: the records go to the device and no file keeps them",
                       std::string("set a file with ") + kLogOnCommand);
    // Windows takes the name up to its last separator as a folder: there is no file to open.
    if (name.empty())
        return dropped(
            to + ", which ends in a separator: a folder's name, and the log writer opens a file, so "
                 "every record is dropped",
            facts.exists && facts.isFolder && (facts.kind == PathKind::driveAbsolute || facts.kind == PathKind::unc)
                ? "name a file in it with kesttool log on " + path + "kest.log"
                : std::string("set a full path to a file with ") + kLogOnCommand);
    if (facts.kind == PathKind::driveRelative || facts.kind == PathKind::rooted || facts.kind == PathKind::relative)
        return fromWorkingFolder(facts);
    if (facts.exists) {
        if (facts.openError == ERROR_SUCCESS) return {LogDestination::Verdict::written, to, {}};
        if (facts.isFolder)
            return dropped(to + ", which is a folder: no record can be written",
                           "name a file in it with kesttool log on " + path + "\\kest.log");
        if (facts.readOnly)
            return dropped(to + ", which is read-only: every record is dropped",
                           "clear its read-only attribute (attrib -r " + path + ")");
        if (facts.openError == ERROR_SHARING_VIOLATION)
            return dropped(to + ", which another program holds open for writing, or without letting others write: "
                                "the log writer waits a moment for each record, then drops it, while that program "
                                "has it open",
                           "close the program that holds it (an editor; a viewer that follows the log without "
                           "sharing it for writing)");
        return dropped(to + ", which cannot be opened as the log writer opens it (error " +
                           std::to_string(facts.openError) + "): every record is dropped",
                       facts.openError == ERROR_ACCESS_DENIED ? "give the user the right to write it"
                                                              : std::string("set another file with ") + kLogOnCommand);
    }
    if (facts.folderIsFile)
        return dropped(to + ", but " + facts.folder + " is a file, not a folder: every record is dropped",
                       std::string("set a file in a folder with ") + kLogOnCommand);
    switch (facts.nameError) {
        case ERROR_FILE_NOT_FOUND: return {LogDestination::Verdict::written, to + " (made with the first record)", {}};
        case ERROR_BAD_NETPATH:
        case ERROR_BAD_NET_NAME:
        case ERROR_NETWORK_UNREACHABLE:
        case ERROR_NO_NET_OR_BAD_PATH:
            return dropped(to + ", on a share this computer cannot reach (error " + std::to_string(facts.nameError) +
                               "): every record is dropped while it cannot",
                           std::string("check the share, or set a file on a local disk with ") + kLogOnCommand);
        case ERROR_PATH_NOT_FOUND:
            return dropped(to + ", but the folder " + facts.folder + " does not exist: every record is dropped",
                           std::string("create the folder, or set another file with ") + kLogOnCommand);
        case ERROR_FILENAME_EXCED_RANGE:
            return dropped(to + ", a name too long for Windows: every record is dropped",
                           std::string("set a shorter path with ") + kLogOnCommand);
        default:
            return {LogDestination::Verdict::unknown,
                    to + ": cannot tell whether the log writer can make it: Windows answers error " +
                        std::to_string(facts.nameError) + " for the name",
                    std::string("check the path, or set another file with ") + kLogOnCommand};
    }
}

// Windows drops the dots and blanks that end a name, but for a name in the \\?\ form, which it
// takes as written: a file few programs can open.
LogDestination trailingDotsAndBlanks(const LogFile& facts, LogDestination destination) {
    const std::string& path = facts.path;
    const std::string trimmed = withoutTrailingDotsAndBlanks(path);
    if (trimmed == path) return destination;
    const bool literal = path.compare(0, 4, R"(\\?\)") == 0;
    return {LogDestination::Verdict::elsewhere,
            "to " + path +
                (literal ? ", a name ending in dots or blanks, which the \\\\?\\ form keeps: a file that Explorer "
                           "and most programs cannot open"
                         : ", a name ending in dots or blanks, which Windows drops: the records go to " + trimmed),
            "set the name without them: kesttool log on " + trimmed};
}

}  // namespace

PathKind pathKind(const std::string& path) {
    const auto at = [&](std::size_t i) { return i < path.size() ? path[i] : '\0'; };
    if (separator(at(0)) && separator(at(1))) {
        // \\.\ and \\?\: the device namespace, where a drive letter still names a file.
        if ((at(2) == '.' || at(2) == '?') && separator(at(3))) {
            if (driveLetter(at(4)) && at(5) == ':' && separator(at(6))) return PathKind::driveAbsolute;
            if (path.size() >= 8 && (path.compare(4, 3, "UNC") == 0 || path.compare(4, 3, "unc") == 0) &&
                separator(at(7)))
                return PathKind::unc;
            return PathKind::device;
        }
        return PathKind::unc;
    }
    if (dosDeviceName(finalName(path))) return PathKind::device;
    if (driveLetter(at(0)) && at(1) == ':') return separator(at(2)) ? PathKind::driveAbsolute : PathKind::driveRelative;
    if (separator(at(0))) return PathKind::rooted;
    return PathKind::relative;
}

LogDestination logDestination(const LogFile& facts) {
    if (facts.pathRead != 0) {
        const std::string refused = "KestIniRead refuses it (result " + std::to_string(facts.pathRead) + ")";
        if (facts.standInLength && *facts.standInLength >= kKestIniValueSize)
            return dropped("but its LogPath of " + std::to_string(*facts.standInLength) + " bytes is longer than the " +
                               std::to_string(kKestIniValueSize - 1) + " the log writer reads: " + refused +
                               ", and every record is dropped",
                           std::string("set a shorter path with ") + kLogOnCommand);
        if (facts.standInLength)
            return dropped("but LogPath cannot be read: " + refused + ", and every record is dropped",
                           std::string("set it again with ") + kLogOnCommand);
        return dropped(
            "but no LogPath (KestIniRead's result " + std::to_string(facts.pathRead) + "): every record is dropped",
            std::string("set a log file with ") + kLogOnCommand);
    }
    if (facts.path.empty())
        return dropped("but LogPath is empty: every record is dropped",
                       std::string("set a log file with ") + kLogOnCommand);
    LogDestination destination = nameAndFile(facts);
    if (destination.verdict == LogDestination::Verdict::written)
        destination = trailingDotsAndBlanks(facts, destination);
    if (facts.expanded == facts.path) return destination;
    // Nothing expands %TEMP% and the like in LogPath: the writer opens the name as written.
    destination.where +=
        "; nothing expands the environment variables in LogPath, the log writer opens the name as written";
    destination.remedy = "set the path expanded: kesttool log on " + facts.expanded;
    if (destination.verdict == LogDestination::Verdict::written)
        destination.verdict = LogDestination::Verdict::elsewhere;
    else if (destination.verdict == LogDestination::Verdict::unknown && facts.kind == PathKind::relative)
        destination.verdict = LogDestination::Verdict::dropped;  // a folder named %TEMP% in the host's folder?
    return destination;
}

std::string findingsText(const std::vector<Finding>& findings) {
    std::vector<std::vector<std::string>> rows;
    std::size_t problems = 0;
    std::size_t warnings = 0;
    for (const Finding& finding : findings) {
        problems += finding.status == Status::problem;
        warnings += finding.status == Status::warning;
        std::string text = finding.text;
        if (finding.code) text += ": " + hexCode(*finding.code) + " " + messageOf(*finding.code);
        if (!finding.remedy.empty()) text += "; " + finding.remedy;
        rows.push_back({statusName(finding.status), finding.check, text});
    }
    return formatColumns(rows, {kStatusWidth, kCheckWidth}) + plural(problems, "problem", "problems") + ", " +
           plural(warnings, "warning", "warnings") + "\n";
}

std::string findingsTrace(const std::vector<Finding>& findings, const RecordsByCheck& records) {
    std::string text;
    std::string_view shown;
    for (const Finding& finding : findings) {
        if (finding.status == Status::ok || finding.check == shown) continue;
        shown = finding.check;
        const std::vector<std::string> utf8 = recordsInUtf8(finding, records);
        text += std::string("--- the libraries' records of the ") + finding.check +
                " check: " + plural(utf8.size(), "record", "records") + "\n";
        for (const std::string& record : utf8) text += "    " + record + "\n";
    }
    return text;
}

std::string findingsJson(const std::vector<Finding>& findings, const RecordsByCheck* records) {
    std::vector<nlohmann::ordered_json> objects;
    for (const Finding& finding : findings) {
        objects.push_back({{"check", finding.check},
                           {"status", statusName(finding.status)},
                           {"text", finding.remedy.empty() ? finding.text : finding.text + "; " + finding.remedy},
                           {"code", finding.code ? nlohmann::ordered_json(hexCode(*finding.code)) : nullptr},
                           {"message", finding.code ? nlohmann::ordered_json(messageOf(*finding.code)) : nullptr}});
        if (records != nullptr) objects.back()["records"] = recordsInUtf8(finding, *records);
    }
    return jsonLines(objects);
}

}  // namespace kest::tool
