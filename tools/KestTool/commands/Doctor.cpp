// kesttool doctor: why signing cannot start on this installation. Each check asks the
// libraries as a host would, in the order a host meets them, and says ok, warning or problem.
// Read-only throughout: no setting is written, the personal store is opened read-only, the
// log check only looks at the folder, and the libraries' records of doctor's calls are kept in
// memory (--trace shows those of the checks that found something), so the customer's log stays
// as it was, byte for byte.
#include "Catalogue.h"
#include "Certificates.h"
#include "Commands.h"
#include "Output.h"
#include "Platform.h"
#include "Terminal.h"

#include "KestCommon.h"
#include "KestIni.h"
#include "KestLog.h"
#include "KestMyCert.h"
#include "KestMyCertOwners.h"
#include "KestMyCertSettings.h"
#include "KestMyCertText.h"
#include "KestResultMessages.h"

#include <wincrypt.h>

#include <cstddef>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kest::tool {
namespace {

constexpr unsigned kPathSize = 260;
constexpr char kJsonOption[] = "--json";
constexpr char kTraceOption[] = "--trace";
constexpr char kCatalogueName[] = "KestErr.csv";
using kest::mycert::kSettingsKeySize;
// How many catalogue findings and left-out certificates a line names before it just counts.
constexpr std::size_t kNamedAtMost = 3;

enum class Status { ok, warning, problem };

const char* statusName(Status status) {
    switch (status) {
        case Status::ok: return "ok";
        case Status::warning: return "warning";
        case Status::problem: return "problem";
    }
    return "";
}

// One line of the report; texts in UTF-8.
struct Finding {
    const char* check;
    Status status;
    std::string text;
    std::optional<ResultCode> code;    // where a library call gave one
    std::vector<std::string> records;  // the libraries' records of its check's calls (ANSI)
};

std::string fromAnsi(std::string_view text) { return toUtf8(text, CP_ACP); }

std::string messageOf(ResultCode code) { return toUtf8(resultMessage(code), kMessageCodePage); }

std::string plural(std::size_t count, const char* one, const char* many) {
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

// Validity against the current time, in the records' own form, so that texts compare in order.
std::string nowUtc() {
    SYSTEMTIME now;
    GetSystemTime(&now);
    char text[20];
    std::snprintf(text, sizeof text, "%04u.%02u.%02u %02u:%02u:%02u", now.wYear, now.wMonth, now.wDay, now.wHour,
                  now.wMinute, now.wSecond);
    return text;
}

// A certificate as the lines name it.
struct Certificate {
    std::string subject;  // active code page
    std::string issuer;
    std::string serial;
    std::string notBefore;
    std::string notAfter;

    [[nodiscard]] std::string id() const { return serial + ";" + issuer; }
    [[nodiscard]] std::string named() const { return fromAnsi(subject + " (" + id() + ")"); }
    [[nodiscard]] bool expired(const std::string& now) const { return notAfter < now; }
    [[nodiscard]] bool notYetValid(const std::string& now) const { return notBefore > now; }
    [[nodiscard]] bool valid(const std::string& now) const { return !expired(now) && !notYetValid(now); }
    [[nodiscard]] std::string validityProblem(const std::string& now) const {
        if (expired(now)) return "expired on " + notAfter + " UTC";
        if (notYetValid(now)) return "not valid before " + notBefore + " UTC";
        return {};
    }
};

Certificate certificateOf(const MyCert& record) {
    return {record.subject, record.issuer, record.serialHex, record.notBefore, record.notAfter};
}

// The personal store's certificates whose key cannot be reached: what createMyCertList
// leaves out. Walked here, read-only, as the list cannot tell.
[[nodiscard]] bool certificatesWithoutKey(std::vector<Certificate>& left) noexcept {
    const UniqueCertStore store{
        CertOpenStore(CERT_STORE_PROV_SYSTEM_A, 0, 0, CERT_SYSTEM_STORE_CURRENT_USER | CERT_STORE_READONLY_FLAG, "MY")};
    if (!store) return false;
    try {
        UniqueCertContext context;
        while (context.enumerate(store.get())) {
            if (privateKeyReachable(context.get())) continue;
            const CERT_INFO& info = *context->pCertInfo;
            left.push_back({mycert::nameText(info.Subject),
                            mycert::nameText(info.Issuer),
                            mycert::serialText(info.SerialNumber),
                            {},
                            {}});
        }
    } catch (...) {
        return false;
    }
    return true;
}

std::string candidateKey(std::size_t n) {
    char key[kSettingsKeySize];
    mycert::formatCandidateKey(static_cast<unsigned>(n), key);
    return key;
}

class Doctor {
public:
    explicit Doctor(const RecordsInMemory& records) noexcept : records_(records) {}

    void run() {
        for (const auto check : {&Doctor::checkInstallation, &Doctor::checkSettings, &Doctor::checkCatalogue,
                                 &Doctor::checkLog, &Doctor::checkCertificates, &Doctor::checkCandidates}) {
            const std::size_t firstFinding = findings_.size();
            const std::size_t firstRecord = records_.records().size();
            (this->*check)();
            const auto& records = records_.records();
            for (std::size_t n = firstFinding; n < findings_.size(); ++n)
                findings_[n].records.assign(records.begin() + static_cast<std::ptrdiff_t>(firstRecord), records.end());
        }
    }
    [[nodiscard]] const std::vector<Finding>& findings() const noexcept { return findings_; }

private:
    void add(const char* check, Status status, std::string text, std::optional<ResultCode> code = std::nullopt) {
        findings_.push_back({check, status, std::move(text), code, {}});
    }

    void checkInstallation() {
        char directory[kPathSize] = {};
        if (!KestInstallPath(directory, sizeof directory)) {
            add("installation", Status::problem, "KestInstallPath gives no installation directory");
            return;
        }
        installDir_ = directory;
        if (isDirectory(installDir_))
            add("installation", Status::ok, fromAnsi(installDir_));
        else
            add("installation", Status::problem, fromAnsi(installDir_) + ": no such folder");
    }

    void checkSettings() {
        char path[kPathSize] = {};
        if (const ResultCode code = getIniFilePath(path); code != KEST_OK) {
            add("settings", Status::problem,
                code == KEST_E_NO_SETTINGS_FILE ? fromAnsi(path) + " not found: no candidates, no omit flag"
                                                : "no settings file without an installation directory",
                code);
            return;
        }
        settings_ = path;
        int omit = 0;
        const ResultCode code = readIniOmitSelectCert(settings_.c_str(), &omit);
        const std::string where = fromAnsi(settings_) + ": ";
        if (code == KEST_OK) {
            omit_ = omit;
            add("settings", Status::ok,
                where + (omit ? "OmitSelectCert=1, the certificate choice is skipped"
                              : "OmitSelectCert=0, the certificate choice is shown"));
        } else if (code == KEST_E_SETTINGS_READ) {
            add("settings", Status::warning, where + "no OmitSelectCert: the host decides whether to show the choice",
                code);
        } else {
            add("settings", Status::problem, where + "OmitSelectCert is neither 0 nor 1", code);
        }
    }

    void checkCatalogue() {
        if (installDir_.empty()) {
            add("catalogue", Status::warning, "not checked without an installation directory");
            return;
        }
        const std::string path = installDir_ + "\\" + kCatalogueName;
        const std::optional<std::string> bytes = readCatalogueFile(path);
        if (!bytes) {
            add("catalogue", Status::problem, fromAnsi(path) + " not found: error boxes cannot show their texts");
            return;
        }
        const std::vector<CatalogueFinding> found = kest::tool::checkCatalogue(*bytes);
        if (found.empty()) {
            add("catalogue", Status::ok, fromAnsi(path) + ": no findings");
            return;
        }
        std::string text = fromAnsi(path) + ": " + plural(found.size(), "finding", "findings") + " (check-catalogue)";
        for (std::size_t i = 0; i < found.size() && i < kNamedAtMost; ++i) {
            text += i == 0 ? ": " : "; ";
            if (found[i].line != 0) text += "line " + std::to_string(found[i].line) + ": ";
            text += toUtf8(found[i].text, kMessageCodePage);
        }
        if (found.size() > kNamedAtMost) text += "; ...";
        add("catalogue", Status::warning, text);
    }

    // Only reads the two settings and looks at the folder: a record written here, or a file
    // made to see whether one could be, would change the customer's log.
    void checkLog() {
        if (!LogFlag()) {
            add("log", Status::ok, "off");
            return;
        }
        const std::optional<std::string> path = installationLogPath();
        if (!path) {
            add("log", Status::problem, "on, but no LogPath: every record is dropped");
            return;
        }
        const std::string folder = folderOf(*path);
        if (folder.empty() || !isDirectory(folder))
            add("log", Status::problem,
                "on, to " + fromAnsi(*path) + ", but the folder " + fromAnsi(folder) +
                    " does not exist: every record is dropped");
        else
            add("log", Status::ok, "on, to " + fromAnsi(*path));
    }

    void checkCertificates() {
        MyCert* head = nullptr;
        if (const ResultCode code = createMyCertList(&head); code != KEST_OK) {
            add("certificates", Status::problem, "the personal store's list cannot be made", code);
            return;
        }
        list_.reset(head);
        listed_ = true;
        const std::string now = nowUtc();
        unsigned count = 0;
        for (const MyCert* record = list_.get(); record != nullptr; record = record->next) {
            ++count;
            const Certificate certificate = certificateOf(*record);
            if (!certificate.valid(now))
                add("certificates", Status::warning, certificate.named() + ": " + certificate.validityProblem(now));
        }
        if (count == 0)
            add("certificates", Status::problem, "no certificate of the personal store has a reachable private key");
        else
            add("certificates", Status::ok,
                plural(count, "certificate", "certificates") + " with a reachable private key");

        if (!certificatesWithoutKey(withoutKey_)) {
            add("certificates", Status::warning, "the personal store cannot be walked for certificates without a key");
            return;
        }
        if (withoutKey_.empty()) {
            add("certificates", Status::ok, "none left out for an unreachable private key");
            return;
        }
        std::string text = plural(withoutKey_.size(), "certificate", "certificates") +
                           " of the personal store left out, their private key cannot be reached: ";
        for (std::size_t i = 0; i < withoutKey_.size() && i < kNamedAtMost; ++i)
            text += (i == 0 ? "" : ", ") + withoutKey_[i].named();
        if (withoutKey_.size() > kNamedAtMost) text += ", ...";
        add("certificates", Status::warning, text);
    }

    // The renewals of a certificate that is gone: same subject and issuer where its subject is
    // still known (its certificate is in the store without a key), else the same issuer.
    [[nodiscard]] std::string successors(const std::string& serial, const std::string& issuer) const {
        const Certificate* old = nullptr;
        for (const Certificate& certificate : withoutKey_)
            if (certificate.serial == serial && certificate.issuer == issuer) old = &certificate;
        std::string named;
        for (const MyCert* record = list_.get(); record != nullptr; record = record->next) {
            if (issuer != record->issuer || (old != nullptr && old->subject != record->subject)) continue;
            named += (named.empty() ? "" : ", ") + certificateOf(*record).named();
        }
        std::string text = old != nullptr ? "; in the personal store, but its private key cannot be reached"
                                          : "; no certificate of the personal store has this id";
        if (!named.empty())
            text += old != nullptr ? "; likely successor (same subject and issuer): " + named
                                   : "; of the same issuer in the list: " + named;
        return text;
    }

    void checkCandidates() {
        if (settings_.empty() || !listed_) {
            add("candidates", Status::warning, "not checked: no settings file or no list");
            return;
        }
        const std::vector<std::string> ids = storedCandidateIds(settings_);
        const std::string now = nowUtc();
        unsigned usable = 0;
        for (std::size_t n = 0; n < ids.size(); ++n) {
            const std::string key = candidateKey(n);
            std::string serial;
            std::string issuer;
            static_cast<void>(mycert::splitCertId(ids[n], serial, issuer));
            // Each id on its own through the library's own lookup, so that the line can say
            // which id found what (readIniSignerCertCandidate only marks the records).
            MyCert wanted{};
            wanted.serialHex = serial.data();
            wanted.issuer = issuer.data();
            const MyCert* found = findMyCert(list_.get(), &wanted);
            if (found == nullptr) {
                add("candidates", Status::problem,
                    key + " " + fromAnsi(ids[n]) + " matches no certificate of the list" +
                        fromAnsi(successors(serial, issuer)));
                continue;
            }
            const Certificate certificate = certificateOf(*found);
            if (certificate.valid(now)) {
                ++usable;
                add("candidates", Status::ok, key + " " + certificate.named());
            } else {
                add("candidates", Status::warning,
                    key + " " + certificate.named() + ": " + certificate.validityProblem(now));
            }
        }
        if (ids.empty()) {
            if (omit_ == 1)
                add("candidates", Status::warning, "none stored, yet OmitSelectCert=1 skips the choice");
            else
                add("candidates", Status::ok, "none stored: the user chooses");
        } else if (usable == 0) {
            add("candidates", Status::problem,
                "none of the " + plural(ids.size(), "stored candidate", "stored candidates") +
                    " is a valid certificate of the list");
        }
    }

    const RecordsInMemory& records_;
    std::vector<Finding> findings_;
    std::string installDir_;
    std::string settings_;
    std::optional<int> omit_;
    UniqueMyCertList list_;
    bool listed_ = false;
    std::vector<Certificate> withoutKey_;
};

// The widest status and check, so that the columns stand alike in every report.
constexpr std::size_t kStatusWidth = 7;
constexpr std::size_t kCheckWidth = 12;

std::string formatText(const std::vector<Finding>& findings) {
    std::vector<std::vector<std::string>> rows;
    std::size_t problems = 0;
    std::size_t warnings = 0;
    for (const Finding& finding : findings) {
        problems += finding.status == Status::problem;
        warnings += finding.status == Status::warning;
        std::string text = finding.text;
        if (finding.code) text += ": " + hexCode(*finding.code) + " " + messageOf(*finding.code);
        rows.push_back({statusName(finding.status), finding.check, text});
    }
    return formatColumns(rows, {kStatusWidth, kCheckWidth}) + plural(problems, "problem", "problems") + ", " +
           plural(warnings, "warning", "warnings") + "\n";
}

std::vector<std::string> recordsInUtf8(const Finding& finding) {
    std::vector<std::string> records;
    for (const std::string& record : finding.records) records.push_back(toUtf8(record, kMessageCodePage));
    return records;
}

// The libraries' records of each check that found something, once per check, after the report.
std::string formatTrace(const std::vector<Finding>& findings) {
    std::string text;
    std::string_view shown;
    for (const Finding& finding : findings) {
        if (finding.status == Status::ok || finding.check == shown) continue;
        shown = finding.check;
        text += std::string("--- the libraries' records of the ") + finding.check +
                " check: " + plural(finding.records.size(), "record", "records") + "\n";
        for (const std::string& record : recordsInUtf8(finding)) text += "    " + record + "\n";
    }
    return text;
}

std::string formatFindingsJson(const std::vector<Finding>& findings, bool trace) {
    std::vector<nlohmann::ordered_json> objects;
    for (const Finding& finding : findings) {
        objects.push_back({{"check", finding.check},
                           {"status", statusName(finding.status)},
                           {"text", finding.text},
                           {"code", finding.code ? nlohmann::ordered_json(hexCode(*finding.code)) : nullptr},
                           {"message", finding.code ? nlohmann::ordered_json(messageOf(*finding.code)) : nullptr}});
        if (trace) objects.back()["records"] = recordsInUtf8(finding);
    }
    return jsonLines(objects);
}

int run(const Invocation& invocation) {
    const bool json = invocation.flag(kJsonOption);
    const bool trace = invocation.flag(kTraceOption);
    const RecordsInMemory records;
    Doctor doctor(records);
    doctor.run();
    writeOut(json ? formatFindingsJson(doctor.findings(), trace)
                  : formatText(doctor.findings()) + (trace ? formatTrace(doctor.findings()) : ""),
             CP_UTF8);
    for (const Finding& finding : doctor.findings())
        if (finding.status == Status::problem) return kExitFailed;
    return kExitOk;
}

}  // namespace

const Command kDoctorCommand{"doctor",
                             "",
                             0,
                             0,
                             "    Checks the installation step by step (installation directory, settings file,\n"
                             "    catalogue, log, certificates, signer candidates): one line each, ok, warning or\n"
                             "    problem. Changes nothing: the libraries' records of its calls are kept in\n"
                             "    memory, not added to the log. Exit status 1 with at least one problem.\n",
                             {{kJsonOption, nullptr, "the findings as a JSON array of objects in UTF-8"},
                              {kTraceOption, nullptr, "the libraries' records of each check that found something"}},
                             &run,
                             {}};

}  // namespace kest::tool
