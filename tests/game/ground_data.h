// The data kit's generated grounds as the stage's height data, for the tests that stand things
// on them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "game/vehicle/heightdata.h"
#include "tests/support/engine_test.h"
#include "tools/datakit/grounds.h"
#include "tools/datakit/height_writer.h"

// Parses the named ground's height data; what the parse reported is added to output.
inline BOOL ParseGround(const std::string& name, std::string& output)
{
    const std::vector<uint8_t> bytes =
        datakit::FormatHeightData(datakit::GroundMesh(datakit::MakeGround(name)));
    BOOL boParsed = FALSE;
    output += CaptureOutput(
        [&] { boParsed = HeightData_Parse(bytes.data(), static_cast<uint32_t>(bytes.size())); });
    return boParsed;
}
