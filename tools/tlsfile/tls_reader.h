// Reader of *.tls tool library files: the header, the TOOLID records with
// their cutter block (standard values or a SOR outline) and holder block.
// Every element keeps the line it came from; syntax faults, non-finite
// numbers, control bytes in quoted texts, letters spelt in UTF-8 in a text
// otherwise Windows-1251 and mixed line ends are collected as problems
// instead of stopping the reader.
#ifndef KESTO_TOOLS_TLSFILE_TLS_READER_H
#define KESTO_TOOLS_TLSFILE_TLS_READER_H

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace tlsfile {

// The header line every tool library starts with.
inline constexpr char kLibraryHeaderLine[] = "CGTECH Tool Library File";

// The units a record may give (UNITS).
inline constexpr std::string_view kMillimeter = "MILLIMETER", kInch = "INCH";

// One problem found in a file, at a 1-based line number.
struct Problem {
    int line = 0;
    std::string tool;     // the record's name as the file holds it; empty outside records
    std::string message;  // ASCII text; names in it are raw file bytes
};

// What a file's model may hold, so that its memory stays a small multiple
// of the file's size: records past kMaxTools are not read (a problem says
// so), problems past kMaxProblems are only counted.
constexpr size_t kMaxTools = 500000;
constexpr size_t kMaxProblems = 100000;

// Adds a problem to a list, or counts it in beyond when the list is full.
void add_problem(std::vector<Problem> &list, size_t &beyond, Problem problem);

// One line of a SOR outline: a point, or an arc joining the point before it
// to the point after it.  Points are (radius, height).
struct OutlineItem {
    enum Kind { point, arc };
    double x = 0;  // point: radius; arc: radius of the centre
    double y = 0;  // point: height; arc: height of the centre
    double r = 0;  // arc radius (arcs only)
    int line = 0;
    Kind kind = point;  // last, so that an item takes 32 bytes
};

struct Outline {
    bool present = false;  // a SOR block was opened
    int line = 0;          // line of "SOR {"
    bool closed = false;   // its closing brace was read
    bool finite = true;    // every number in it was finite
    std::vector<OutlineItem> items;
};

enum class Form {
    none,         // a record without a cutter block
    flat_end,
    bull_nose,
    ball_end,
    seven_value,  // STANDARD with seven values and no CUTTER_TYPE
    apt10,
    drill,
    sor,          // cutter given as a SOR outline (barrel, T-cutter)
    turning,
    unknown       // a cutter block that names no usable form
};

// Lower-case name of the form, as reports show it ("flat end", "APT 10", ...).
const char *form_name(Form form);

struct Tool {
    std::string name;  // raw bytes between the quotes
    int line = 0;      // line of "TOOLID"
    bool closed = false;   // the record's closing brace was read
    int damaged_line = 0;  // first syntax fault inside the record, 0 when none

    std::string units;  // "MILLIMETER", "INCH" or empty
    int units_line = 0;
    bool has_description = false;
    std::string description;
    bool has_gage = false;
    int gage_line = 0;
    double gage[3] = {0, 0, 0};
    std::string tooltype;  // "MILLING", "TURNING" or empty
    int tooltype_line = 0;
    std::string stack;     // "YES", "NO" or empty
    int stack_line = 0;

    bool has_cutter = false;
    int cutter_line = 0;
    bool has_flute_length = false;
    int flute_length_line = 0;
    double flute_length = 0;
    bool has_shank_diameter = false;
    int shank_diameter_line = 0;
    double shank_diameter = 0;
    std::string cutter_type;  // text of CUTTER_TYPE, empty when absent
    int cutter_type_line = 0;
    std::vector<double> standard;
    int standard_line = 0;
    bool standard_finite = true;
    Outline cutter_outline;

    bool has_holder = false;
    int holder_line = 0;
    Outline holder_outline;

    Form form = Form::none;
};

struct Library {
    bool header_ok = false;
    std::vector<Tool> tools;
    std::vector<Problem> problems;  // syntax faults and non-finite numbers, in line order
    size_t problems_beyond = 0;     // more of them, past kMaxProblems
    // Of all of them, those about what the text is written in (control
    // bytes, UTF-8, mixed line ends): its records are read all the same.
    size_t text_problems = 0;
    int line_count = 0;
};

// The way an arc of an outline runs from the point p before it to the point
// q after it about its centre c: the shorter way round, and for a half circle
// the way that bulges away from the axis.  True for counter-clockwise (with
// the height axis pointing up).
bool arc_runs_ccw(double px, double py, double qx, double qy, double cx, double cy);

// The largest radius the outline reaches, its arcs' bulges included.
double outline_max_radius(const Outline &outline);

// Parses the Windows-1251 text of a library (CR LF or LF line ends); the
// input layer (source.h) makes that of a file in another encoding.
Library parse_tls(const std::string &text);
// The same, but each record, once complete, is handed to done (its form
// set) instead of being kept: for a report of a large file in little
// memory.
Library parse_tls_records(const std::string &text, const std::function<void(Tool &)> &done);

}  // namespace tlsfile

#endif
