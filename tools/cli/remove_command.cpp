// kesto-tools-vericut remove LIBRARY TOOLID...: records taken out of a
// library, the rest byte for byte.
#include "tools/cli/commands.h"
#include "tools/cli/library_edit.h"
#include "tools/tlsfile/tls_edit.h"

namespace kesto::cli {
namespace {

struct RemoveArgs {
    EditArgs edit;
    std::vector<std::string> toolids;
    bool all = false;
    std::vector<int> lines;
};

void add(CLI::App &app) {
    auto args = std::make_shared<RemoveArgs>();
    CLI::App *cmd = app.add_subcommand("remove");
    describe(cmd, "Remove records from a tool library by TOOLID",
             "Takes the records of the TOOLIDs given (names or patterns: * any text, ? one character; a '\"' "
             "matches the '|' a library writes for it) out of the library; its header and every other record "
             "stay byte for byte. A TOOLID the library holds more than once is refused, naming its lines, "
             "unless --all removes every one or --line names the one to remove. A TOOLID it does not hold is "
             "refused.\n\n"
             "Exit 0 when the records were removed, 2 when a TOOLID is not held or is held twice, or the file "
             "is no library, 1 when the library could not be written; with --dry-run 0 when nothing would "
             "change, 1 when something would.",
             {{"remove SITE.tls EM10", "takes the record of EM10 out of the site library"},
              {"remove SITE.tls 'OLD_*' --dry-run", "which records a pattern would take out"},
              {"remove SITE.tls EM10 --line 31", "the second of two EM10 records, at line 31"}});
    cmd->add_option("library", args->edit.library, "The tool library (*.tls)")->required();
    cmd->add_option("toolid", args->toolids, "TOOLIDs or patterns of the records to remove")->required();
    cmd->add_flag("--all", args->all, "Remove every record of a TOOLID held more than once");
    cmd->add_option("--line", args->lines, "The TOOLID line of the record to remove, of one held more than once")
        ->allow_extra_args(false);
    add_edit_options(cmd, args->edit);
    cmd->callback([args] {
        finish_edit("remove", args->edit, [args](const EditInput &in) {
            Edit e;
            std::vector<size_t> picked;
            if (!pick_records(in, args->toolids, args->lines, args->all, picked)) {
                e.code = kExitUsage;
                return e;
            }
            e.text = tlsfile::without_records(in.library.text, in.spans, picked);
            const nlohmann::ordered_json removed = records_done(in, picked, "removed", e);
            e.done.push_back(count(in.spans.records.size() - picked.size(), "record", "records") + " kept");
            e.details = {{"removed", removed}, {"kept", in.spans.records.size() - picked.size()}};
            return e;
        });
    });
}

CommandRegistrar registrar(41, add);

}  // namespace
}  // namespace kesto::cli
