// Any bytes as an alarm rules file: loading never crashes, every error has
// a line within the file (or 0 for the whole file), and what loads is
// consistent: rules name value columns, limits are finite, deadbands not
// negative, and every receiver a rule or the hub setting names exists.
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "database/sample_database.h"
#include "hub/alarm_rules.h"

namespace {

using namespace orlix::hub;

void check(bool ok) {
    if (!ok) std::abort();
}

void checkNamed(const AlarmRules& rules, const std::vector<std::string>& names) {
    for (const std::string& n : names) check(rules.receiver(n) != nullptr);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static QTemporaryDir dir;
    static int serial = 0;
    // A new name each time: QSettings keeps what it read of a path.
    const QString path = dir.filePath(QStringLiteral("rules-%1.ini").arg(++serial));
    {
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly)) return 0;
        f.write(reinterpret_cast<const char*>(data), static_cast<qint64>(size));
    }
    const RulesLoad load = loadAlarmRules(path);
    QFile::remove(path);
    const int lines = static_cast<int>(std::count(data, data + size, '\n')) + 1;
    for (const RuleError& e : load.errors) check(e.line >= 0 && e.line <= lines && !e.message.empty());
    const AlarmRules& rules = load.rules;
    for (const ThresholdRule& r : rules.thresholds) {
        check(r.columnIndex >= 0 && r.columnIndex < orlix::kSampleValueColumns);
        check(orlix::kEmp1Columns[static_cast<std::size_t>(r.columnIndex)] == r.column);
        check(std::isfinite(r.limit) && std::isfinite(r.deadband) && r.deadband >= 0 && r.onDelayUs >= 0);
        check(r.allSites == r.sites.empty());
        checkNamed(rules, r.receivers);
    }
    checkNamed(rules, rules.hub.faultReceivers);
    checkNamed(rules, rules.hub.offlineReceivers);
    check(rules.hub.offlineAfterUs > 0 && !rules.hub.sendmailCommand.empty());
    for (const Receiver& r : rules.receivers) check(r.type != ReceiverType::Webhook || !r.url.empty());
    return 0;
}
