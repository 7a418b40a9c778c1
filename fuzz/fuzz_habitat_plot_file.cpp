// Habitat plot tables and the habitat code list, with the field readers the
// main window applies to every field.

#include "FuzzSupport.h"
#include "io/HabitatPlotFile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    namespace Plots = IO::HabitatPlotFile;
    const std::string_view text = FuzzSupport::text(data, size);

    const Plots::Table table = Plots::parse(text);
    (void)table.headerValid();
    FuzzSupport::require(table.rows.size() <= Plots::maxRows, "no more plot lines than the ceiling");
    FuzzSupport::require(!table.tooLarge || (table.header.empty() && table.rows.empty()),
                         "a table beyond the ceilings holds nothing");
    for (const Plots::Row& row : table.rows) {
        FuzzSupport::require(row.line >= 2, "data lines follow the header");
        (void)Plots::fieldCountProblem(row);
        for (const std::string& field : row.fields) {
            (void)Plots::numberField(field);
            (void)Plots::integerField(field);
            (void)Plots::dateField(field);
        }
    }

    const Plots::CodeList codes = Plots::parseCodeList(text);
    FuzzSupport::require(codes.headerValid || codes.entries.empty(), "no entries without a valid first line");
    FuzzSupport::require(!codes.tooLarge || codes.entries.empty(), "a list beyond the ceilings holds nothing");
    return 0;
}
