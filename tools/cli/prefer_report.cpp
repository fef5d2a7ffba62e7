#include "tools/cli/prefer_report.h"

#include <unordered_map>

#include "host/sim/sim_host.h"
#include "tools/cli/inputs.h"
#include "tools/tlsfile/toolid_match.h"

namespace kesto::cli {
namespace {

std::string place(const tlsfile::Database &db, uint32_t record) {
    const tlsfile::DatabaseRecord &rec = db.records()[record];
    return shown(db.libraries()[rec.library].label) + ":" + std::to_string(rec.line);
}

}  // namespace

tlsfile::PreferResult prefer(const tlsfile::Database &database, const sim::Part &part, const std::string &text,
                             bool site_geometry) {
    std::unordered_map<std::string, std::string> catalogue;  // by TOOLID as written
    for (const sim::Member &m : part.members) {
        auto it = m.params.find(UF_PARAM_TL_CATALOG_NUMBER);
        const bool given = it != m.params.end() && it->second.is_text;
        catalogue.emplace(tlsfile::as_toolid(m.name), given ? tlsfile::as_toolid(it->second.text) : "");
    }
    return tlsfile::prefer_records(database, library_from_text("the export", text).library,
                                   [&catalogue](const std::string &toolid) {
                                       auto it = catalogue.find(toolid);
                                       return it == catalogue.end() ? std::string() : it->second;
                                   },
                                   site_geometry);
}

std::string prefer_text(const tlsfile::Database &database, const tlsfile::PreferResult &preferred) {
    std::string out = "from the database: " + count(preferred.taken.size(), "tool", "tools") + "\n";
    for (const tlsfile::PreferredRecord &t : preferred.taken) {
        const tlsfile::DatabaseRecord &rec = database.records()[t.record];
        out += "  " + quoted_toolid(t.name) + ": " +
               (t.by_catalogue ? "by catalogue number " + quoted_toolid(rec.name) : std::string("by name")) + ", " +
               place(database, t.record) + "\n";
    }
    out += "generated: " + count(preferred.generated.size(), "tool", "tools") + "\n";
    for (const std::string &name : preferred.generated) {
        out += "  " + quoted_toolid(name);
        for (const tlsfile::DifferingPreference &d : preferred.differing)
            if (d.name == name && !d.taken) out += ": differs, not taken: " + place(database, d.record);
        out += "\n";
    }
    return out;
}

void warn_differing(Context &ctx, const tlsfile::Database &database, const tlsfile::PreferResult &preferred) {
    for (const tlsfile::DifferingPreference &d : preferred.differing) {
        const tlsfile::DatabaseRecord &rec = database.records()[d.record];
        const std::string at = database.libraries()[rec.library].label;
        std::string what = "the database's record " + quoted_toolid(rec.name) + " at " + place(database, d.record) +
                           ", found by " + (d.by_catalogue ? "catalogue number" : "name") + " for tool " +
                           quoted_toolid(d.name) + ", has other geometry than the part's; ";
        what += d.taken ? "taken all the same (--prefer-site-geometry): the simulator gets the database's "
                          "geometry, not the part's"
                        : "not taken, the part's own record is written (--prefer-site-geometry takes it)";
        std::string sides = side_line("the export", d.generated) + side_line(at, d.database);
        sides.pop_back();
        ctx.warn(what + "\n" + sides);
    }
}

void prefer_json(const tlsfile::Database &database, const tlsfile::PreferResult &preferred, json &object) {
    object["preferred"] = json::array();
    for (const tlsfile::PreferredRecord &t : preferred.taken) {
        const tlsfile::DatabaseRecord &rec = database.records()[t.record];
        object["preferred"].push_back({{"toolid", toolid_json(t.name)},
                                       {"by", t.by_catalogue ? "catalogue number" : "name"},
                                       {"file", database.libraries()[rec.library].label},
                                       {"line", rec.line},
                                       {"database_toolid", toolid_json(rec.name)}});
    }
    object["generated"] = json::array();
    for (const std::string &name : preferred.generated) object["generated"].push_back(toolid_json(name));
    object["differing"] = json::array();
    for (const tlsfile::DifferingPreference &d : preferred.differing) {
        const tlsfile::DatabaseRecord &rec = database.records()[d.record];
        object["differing"].push_back({{"toolid", toolid_json(d.name)},
                                       {"verdict", d.taken ? "differs, taken" : "differs, not taken"},
                                       {"by", d.by_catalogue ? "catalogue number" : "name"},
                                       {"file", database.libraries()[rec.library].label},
                                       {"line", rec.line},
                                       {"database_toolid", toolid_json(rec.name)},
                                       {"input", side_json(d.generated)},
                                       {"database", side_json(d.database)}});
    }
}

}  // namespace kesto::cli
