// The program's reference: the man page and the Windows package's
// REFERENCE.txt are one document, made from the program's own subcommands,
// options and help texts and from the tables here of what they share (the
// environment, the files, the --json objects), then rendered as roff or as
// plain text.
#ifndef KESTO_TOOLS_CLI_REFERENCE_H
#define KESTO_TOOLS_CLI_REFERENCE_H

#include <string>
#include <vector>

#include "tools/cli/cli11_fwd.h"

namespace kesto::cli {

// One block of the document.  Texts are plain (no markup), one paragraph
// each.
struct Block {
    enum class Kind {
        section,     // title: a top heading (NAME, SYNOPSIS, ...)
        subsection,  // title: a heading under it
        paragraph,   // text
        item,        // title: a tag (an option, a variable, a file); text: what it means
        key,         // an item of a list of many short ones (the --json keys)
        example,     // title: a command line, kept whole; text: what it does
        lines,       // text: lines kept as they are (usage lines)
    };
    Kind kind;
    std::string title;
    std::string text;
};

// The reference of the program app is (its name, subcommands, options and
// help), for a POSIX shell or, with windows, for cmd.exe: the examples
// quoted for cmd and the files and variables of a Windows machine.
std::vector<Block> reference_document(const CLI::App &app, bool windows);

// A key of a --json object: its path from the object ("files[].tools[].line":
// "[]" stands for every element of an array), what it holds, and, for a
// key whose value is an object described once for several commands, that
// object's shape.
struct JsonKey {
    const char *path;
    const char *meaning;
    const char *shape = nullptr;
};

// The keys of one command's --json object ("check"), or of an object several
// commands share ("plan"), in the order the reference lists them.
struct JsonShape {
    const char *name;
    const char *intro;  // a sentence before the keys
    std::vector<JsonKey> keys;
};

// Every --json object the program prints: one shape per command that prints
// one, then the shapes they share.  The keys every object has (error,
// errors, warnings) are the shape "every".
const std::vector<JsonShape> &json_shapes();
const JsonShape *json_shape(const std::string &name);
// The shapes of the commands that edit or set up (json_keys_edits.cpp),
// and the shared ones; json_shapes() lists them after the others.
std::vector<JsonShape> more_json_shapes();

// A variable of the environment the program reads, and what for.
struct EnvironmentVariable {
    std::string name;
    std::string meaning;
};
std::vector<EnvironmentVariable> environment_variables(bool windows);

// The ENVIRONMENT and FILES sections of the document of the program name.
void add_reference_tables(std::vector<Block> &doc, const std::string &name, bool windows);

}  // namespace kesto::cli

#endif
