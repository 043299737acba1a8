#include "tools/datakit/seeds.h"

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "tools/datakit/avi_writer.h"
#include "tools/datakit/c3d_writer.h"
#include "tools/datakit/car_state_writer.h"
#include "tools/datakit/damage_writer.h"
#include "tools/datakit/dkpr_writer.h"
#include "tools/datakit/file_io.h"
#include "tools/datakit/grounds.h"
#include "tools/datakit/hud_writer.h"
#include "tools/datakit/image_writer.h"
#include "tools/datakit/language_writer.h"
#include "tools/datakit/moving_objects_writer.h"
#include "tools/datakit/palette_writer.h"
#include "tools/datakit/registry_writer.h"
#include "tools/datakit/replay_writer.h"
#include "tools/datakit/stage_files_writer.h"
#include "tools/datakit/trackcam_writer.h"
#include "tools/datakit/wave_writer.h"

namespace datakit
{
namespace
{
using Bytes = std::vector<uint8_t>;
namespace fs = std::filesystem;

class SeedDir
{
public:
    SeedDir(const fs::path& root, const char* target) : dir_(root / target)
    {
        fs::create_directories(dir_);
    }
    void Add(const std::string& name, const Bytes& bytes)
    {
        WriteFileAtomically(dir_ / name, bytes);
    }
    void Add(const std::string& name, const std::string& text)
    {
        Add(name, Bytes(text.begin(), text.end()));
    }

private:
    fs::path dir_;
};

Image Pattern(int width, int height, int bits)
{
    Image image;
    image.width = width;
    image.height = height;
    image.bits = bits;
    const int colours = bits == 4 ? 16 : bits == 8 ? 256 : 0;
    for (int i = 0; i < colours; ++i)
        image.colours.push_back({static_cast<uint8_t>(i * 255 / (colours - 1)),
                                 static_cast<uint8_t>(i * 7), static_cast<uint8_t>(255 - i)});
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
        {
            const int v = x * 3 + y * 5;
            if (bits == 24)
                image.pixels.insert(image.pixels.end(),
                                    {static_cast<uint8_t>(v), static_cast<uint8_t>(x * 16),
                                     static_cast<uint8_t>(y * 16)});
            else
                image.pixels.push_back(static_cast<uint8_t>(v % colours));
        }
    return image;
}

// A network frame: magic "DZDP", kind, version 1, body length, body.
Bytes Frame(uint16_t kind, const Bytes& body)
{
    Bytes out;
    AppendLittleEndian(out, 0x50445A44u, 4);
    AppendLittleEndian(out, kind, 2);
    AppendLittleEndian(out, 1, 2);
    AppendLittleEndian(out, static_cast<uint32_t>(body.size()), 4);
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

void AppendName(Bytes& out, const std::string& name)
{
    out.insert(out.end(), name.begin(), name.end());
    out.insert(out.end(), 50 - name.size(), 0);
}

void AppendGuid(Bytes& out, uint32_t first)
{
    AppendLittleEndian(out, first, 4);
    out.insert(out.end(), 12, 0x5A);
}

// The 80-byte session description.
void AppendSessionDesc(Bytes& out, uint32_t maxPlayers, uint32_t current)
{
    AppendLittleEndian(out, 80, 4);
    AppendLittleEndian(out, 0, 4);
    AppendGuid(out, 0x1234);
    AppendGuid(out, 0x5678);
    AppendLittleEndian(out, maxPlayers, 4);
    AppendLittleEndian(out, current, 4);
    out.insert(out.end(), 32, 0); // name and password pointers, reserved and user words
}

void AppendPlayer(Bytes& out, uint32_t id, uint32_t flags)
{
    AppendLittleEndian(out, id, 4);
    AppendLittleEndian(out, flags, 4);
    AppendName(out, "Ana");
    AppendName(out, "Ana Ferreira");
}

void WriteImages(const fs::path& root)
{
    SeedDir d(root, "fuzz_image");
    d.Add("4bit.bmp", FormatBmp(Pattern(9, 5, 4)));
    d.Add("8bit.bmp", FormatBmp(Pattern(16, 8, 8)));
    d.Add("24bit.bmp", FormatBmp(Pattern(7, 3, 24)));
    d.Add("4bit.tim", FormatTim(Pattern(8, 4, 4)));
    d.Add("8bit.tim", FormatTim(Pattern(6, 5, 8)));

    SeedDir p(root, "fuzz_palette");
    p.Add("grey.pal", FormatPaletteFile(GreyPalette()));
    p.Add("spectrum.pal", FormatPaletteFile(SpectrumPalette()));

    SeedDir f(root, "fuzz_font");
    f.Add("plain.fon", FormatFont(FontStyle{}));
    FontStyle outlined;
    outlined.scale = 2;
    outlined.outline = true;
    f.Add("outlined.fon", FormatFont(outlined));
}

void WriteFiles(const fs::path& root)
{
    const std::string text = "stage data\r\nwith a second line\r\n";
    SeedDir d(root, "fuzz_file");
    d.Add("raw.dat", text);
    d.Add("dkpr.dat", DkprWrap(AsBytes(text)));
    d.Add("dkpr-gzip.dat", Gzip(DkprWrap(AsBytes(text))));

    // The patch program's resources are DKPR records in one gzip member each.
    SeedDir p(root, "fuzz_patch");
    p.Add("small.gz", Gzip(DkprWrap(AsBytes(text))));
    Bytes larger;
    for (int i = 0; i < 9000; ++i)
        larger.push_back(static_cast<uint8_t>(i * 7 / 5));
    p.Add("larger.gz", Gzip(DkprWrap(larger)));
    p.Add("empty.gz", Gzip(DkprWrap({})));
}

void WriteTexts(const fs::path& root)
{
    // Framed for the target: language count, strings a language (16-bit), then the images,
    // of equal lengths, one after the other.
    SeedDir d(root, "fuzz_text");
    const std::string english = FormatLanguageText({"Start race", "Options", "Quit^now"});
    const std::string french = FormatLanguageText({"Depart ...", "Choix..", "Fin^vite"});
    d.Add("one.txt", std::string("\x01\x03\x00", 3) + english);
    d.Add("two.txt", std::string("\x02\x03\x00", 3) + english + french);
    d.Add("short.txt", std::string("\x01\x05\x00", 3) + english);

    SeedDir c(root, "fuzz_cmd_line");
    c.Add("track", std::string("stages\\test.trk"));
    c.Add("words", std::string("  -window  -nosound demo.rpl x y z "));
}

void WriteRegistry(const fs::path& root)
{
    SeedDir d(root, "fuzz_reg");
    RegistryModel model;
    model.Set(kDrivesSection, "C", "/tmp/dezor/c");
    model.Set(kDrivesSection, "D", "/tmp/dezor/disc");
    const std::string key = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Velmorra\\Dezor\\1.00";
    model.Set(key, "HDPath", "C:\\Dezor");
    model.Set(key, "CDPath", "D:");
    model.Set(key, "Language", "2");
    d.Add("registry.ini", FormatRegistry(model));
    d.Add("comments.ini", std::string("; comment\n# other\n[ Drives ]\n  c = /x \nnot a value\n"));

    // The data kit reads a registry file too: the player's, which an install keeps.
    SeedDir kit(root, "fuzz_datakit_registry");
    kit.Add("registry.ini", FormatRegistry(model));
    kit.Add("comments.ini",
            std::string("; comment\n# other\n[ Drives ]\n  c = /x \nnot a value\n"));
}

void WriteSounds(const fs::path& root)
{
    SeedDir d(root, "fuzz_wave");
    d.Add("mono.wav", FormatWaveFile(Tone(440.0, 200, 22050, 8000), 22050));
    d.Add("stereo.wav", FormatWaveFile(Noise(300, 4000, 7), 11025, 2));

    SeedDir m(root, "fuzz_movie");
    AviMovie movie;
    movie.width = 8;
    movie.height = 6;
    movie.framesPerSecond = 10;
    const uint8_t red[3] = {255, 0, 0};
    const uint8_t blue[3] = {0, 0, 255};
    movie.frames = {TwoColourFrame(8, 6, 2, red, blue), TwoColourFrame(8, 6, 4, blue, red)};
    m.Add("silent.avi", FormatAviFile(movie));
    movie.sound = Tone(300.0, 4410, 22050, 6000);
    m.Add("sound.avi", FormatAviFile(movie));
}

void WriteController(const fs::path& root)
{
    // 18 records of 140 bytes: a type word, then key and button assignments.
    SeedDir d(root, "fuzz_input");
    Bytes image;
    for (int slot = 0; slot < 18; ++slot)
        for (int i = 0; i < 35; ++i)
            AppendLittleEndian(image, static_cast<uint32_t>(i == 0 ? slot % 3 : (slot + i) % 160),
                               4);
    d.Add("control.dat", image);
    d.Add("zero.dat", Bytes(18 * 140, 0));
}

void WriteNetwork(const fs::path& root)
{
    enum : uint16_t
    {
        kQuery = 1,
        kQueryReply,
        kJoin,
        kJoinAccept,
        kJoinRefuse,
        kCreatePlayer,
        kPlayerCreated,
        kPlayerAdded,
        kDestroyPlayer,
        kPlayerRemoved,
        kSessionDesc,
        kData,
    };
    Bytes query;
    AppendLittleEndian(query, 77, 4);
    AppendGuid(query, 0);
    Bytes join;
    AppendGuid(join, 0x1234);
    Bytes create;
    AppendLittleEndian(create, 1, 4);
    AppendName(create, "Ana");
    AppendName(create, "Ana Ferreira");
    Bytes id;
    AppendLittleEndian(id, 2, 4);
    Bytes data;
    AppendLittleEndian(data, 2, 4);
    AppendLittleEndian(data, 0, 4);
    AppendLittleEndian(data, 0, 4);
    AppendLittleEndian(data, 5, 4);
    data.insert(data.end(), {'h', 'e', 'l', 'l', 'o'});

    SeedDir host(root, "fuzz_dplay_host");
    host.Add("query", Frame(kQuery, query));
    host.Add("join", Frame(kJoin, join));
    host.Add("create", Frame(kCreatePlayer, create));
    host.Add("destroy", Frame(kDestroyPlayer, id));
    host.Add("data", Frame(kData, data));

    Bytes session;
    AppendSessionDesc(session, 8, 2);
    AppendName(session, "Rally");
    Bytes accept = session;
    AppendLittleEndian(accept, 2, 4);
    AppendPlayer(accept, 1, 1);
    AppendPlayer(accept, 2, 0);
    Bytes created;
    AppendLittleEndian(created, 1, 4);
    AppendLittleEndian(created, 0, 4);
    AppendPlayer(created, 3, 0);
    Bytes added;
    AppendPlayer(added, 4, 1);
    Bytes refuse;
    AppendLittleEndian(refuse, 0x8877000Au, 4);
    SeedDir joiner(root, "fuzz_dplay_joiner");
    joiner.Add("accept", Frame(kJoinAccept, accept));
    joiner.Add("refuse", Frame(kJoinRefuse, refuse));
    joiner.Add("created", Frame(kPlayerCreated, created));
    joiner.Add("added", Frame(kPlayerAdded, added));
    joiner.Add("removed", Frame(kPlayerRemoved, id));
    joiner.Add("session", Frame(kSessionDesc, session));
    joiner.Add("data", Frame(kData, data));

    SeedDir sys(root, "fuzz_sysmsg");
    Bytes setDesc;
    AppendLittleEndian(setDesc, 0x0104, 4);
    AppendSessionDesc(setDesc, 6, 3);
    sys.Add("setsessiondesc", setDesc);
    Bytes lost;
    AppendLittleEndian(lost, 0x0031, 4);
    sys.Add("sessionlost", lost);
}

// Network play's messages as the game's message catalogue lays them out, framed for the
// handlers' target: a set-up byte (bit 0 hosting, bits 4-7 the car-state rate), then per message
// a selector (low bits: 0 from a player in slot selector >> 2, 1 from a stranger, 2 a session
// message, 3 a tick with no bytes), a 16-bit length and the bytes.
void WriteNetworkMessageSeeds(const fs::path& root)
{
    auto message = [](uint32_t type, size_t size, const std::vector<uint32_t>& words)
    {
        Bytes m;
        AppendLittleEndian(m, type, 4);
        for (uint32_t w : words)
            AppendLittleEndian(m, w, 4);
        m.resize(size, 0);
        return m;
    };
    auto framed = [](Bytes& out, uint8_t selector, const Bytes& m)
    {
        out.push_back(selector);
        AppendLittleEndian(out, static_cast<uint32_t>(m.size()), 2);
        out.insert(out.end(), m.begin(), m.end());
    };
    const uint8_t tick = 3;
    // A car state: position, displacement, two car words, two axis rows.
    std::vector<uint32_t> body = {0x000A0000, 0x00010000, 0xFFFC0000}; // at 10, 1, -4
    body.insert(body.end(), {0x00010000, 0, 0x8000});                  // by 1, 0, 0.5
    body.insert(body.end(), {0x12345678, 7});                          // the car's two words
    body.insert(body.end(), {0x10000, 0, 0, 0, 0x10000, 0});           // the axes
    std::vector<uint32_t> paused = {0};
    paused.insert(paused.end(), body.begin(), body.end());
    std::vector<uint32_t> full = body;
    full.insert(full.end(), {1234, 56});
    Bytes record(156, 0);
    const std::string player = "ANNE";
    std::copy(player.begin(), player.end(), record.begin());
    record[140] = 0x06;
    record[141] = 0x01;
    Bytes info;
    AppendLittleEndian(info, 1, 4);
    info.insert(info.end(), record.begin(), record.end());
    Bytes settings(1444, 0);
    settings[0] = 2;
    settings[336] = 0x01;
    settings[337] = 0x23;
    settings[1441] = 9;
    Bytes chat = message(6, 280, {});
    const std::string line = "ANNE: HELLO";
    std::copy(line.begin(), line.end(), chat.begin() + 4);

    const std::vector<std::pair<std::string, Bytes>> each = {
        {"player-info", info},
        {"settings", settings},
        {"players-known", message(4, 16, {})},
        {"leave-lobby", message(5, 16, {})},
        {"chat", chat},
        {"car-state", message(7, 60, body)},
        {"car-state-paused", message(8, 64, paused)},
        {"car-state-full", message(9, 68, full)},
        {"host-racing", message(10, 16, {})},
        {"host-waiting", message(11, 16, {})},
        {"ready", message(12, 16, {})},
        {"ready-ack", message(13, 16, {})},
        {"start", message(14, 16, {})},
        {"split-time", message(16, 12, {3, 4500})},
        {"finished", message(17, 20, {6000})},
        {"game-running", message(18, 16, {})},
        {"ask-state", message(19, 16, {})},
        {"in-lobby", message(20, 16, {})},
        {"stage-choice", message(21, 12, {3, 2})},
        {"leave-game", message(22, 16, {})},
    };
    SeedDir d(root, "fuzz_netmsg");
    for (const auto& [name, m] : each)
    {
        Bytes seed = {0x51};
        framed(seed, 0, m);
        seed.push_back(tick);
        d.Add(name, seed);
    }

    // A race: a stranger's record joins, states come and go, the host's handshake, split and
    // finishing times, a player leaves and this machine becomes the host.
    Bytes race = {0x91};
    framed(race, 1 | 6 << 2, info);
    for (int n = 0; n < 6; ++n)
    {
        framed(race, static_cast<uint8_t>(n % 4 << 2), message(9, 68, full));
        race.push_back(tick);
        race.push_back(tick);
    }
    framed(race, 1 << 2, message(8, 64, paused));
    race.push_back(tick | 4);
    for (int slot = 0; slot < 4; ++slot)
        framed(race, static_cast<uint8_t>(slot << 2), message(12, 16, {}));
    race.push_back(tick);
    framed(race, 2 << 2, message(16, 12, {8, 100}));
    framed(race, 0, message(17, 20, {6000}));
    Bytes destroyed;
    AppendLittleEndian(destroyed, 5, 4);
    AppendLittleEndian(destroyed, 0, 4);
    AppendLittleEndian(destroyed, 0x103, 4);
    framed(race, 2, destroyed);
    Bytes host;
    AppendLittleEndian(host, 0x101, 4);
    framed(race, 2, host);
    race.push_back(tick);
    d.Add("race", race);
}
} // namespace

// Framed for the target: the load kind's place in 0, 1, 2, 3, 4, 5, 6, 8, 9 with 0x80 for an
// 8-bit display, then the options with 0x80 for colour keys and 0x40 for the vertex-colour
// option, then the file.
Bytes C3dSeed(int kindIndex, bool eightBit, uint8_t options, const C3dScene& scene)
{
    Bytes out = {static_cast<uint8_t>(kindIndex | (eightBit ? 0x80 : 0)), options};
    const Bytes file = FormatC3d(scene);
    out.insert(out.end(), file.begin(), file.end());
    return out;
}

void WriteScenes(const fs::path& root)
{
    SeedDir d(root, "fuzz_c3d");
    C3dGridOptions grid;
    grid.columns = 2;
    grid.rows = 2;
    grid.animatedSign = true;
    d.Add("track.bin", C3dSeed(0, false, 0x02, C3dBlockGrid(grid)));
    d.Add("night-track.bin", C3dSeed(1, true, 0x40, C3dBlockGrid({})));
    d.Add("scenery.bin", C3dSeed(2, false, 0x82, C3dScenery(2, 2)));
    d.Add("shadows.bin", C3dSeed(3, true, 0xC2, C3dScenery(1, 0)));
    d.Add("horizon.bin", C3dSeed(4, false, 0x00, C3dScenery(0, 3)));
    d.Add("car.bin", C3dSeed(5, false, 0x82, C3dCar()));
    d.Add("select-car.bin", C3dSeed(7, true, 0x98, C3dCar()));
    d.Add("medium-car-unlit.bin", C3dSeed(6, false, 0x11, C3dCar()));
    C3dScene head = C3dCar();
    head.textures[1].image = FormatTim(Pattern(8, 4, 8));
    d.Add("head-tim.bin", C3dSeed(8, false, 0x8A, head));
}

// Car states: a car at rest, one moving in third gear with an impulse, one asking for a
// rescue, and one whose gear lies past the table.
void WriteCarStates(const fs::path& root)
{
    SeedDir d(root, "fuzz_carstate");
    CarState rest;
    rest.position = {1.5, 0.4, 20.0};
    for (size_t i = 0; i < rest.contactPoints.size(); ++i)
        rest.contactPoints[i] = {1.5 + (i & 1 ? -2.0 : 2.0), i < 4 ? 0.0 : 1.4, 20.0 + (i & 2 ? -1.0 : 1.0)};
    rest.carType = 5;
    rest.maxRevs = 8.35;
    rest.gearRatios = {0, 3.14, 2.22, 1.68, 1.37, 1.16, 1.0, -3.14};
    rest.revSweep = true;
    rest.revSweepPeriod = 23;
    d.Add("rest.bin", FormatCarState(rest));
    CarState moving = rest;
    moving.carNumber = 1;
    moving.velocity = {0.2, 0.0, 1.1};
    moving.forward = {0.6, 0.0, 0.8};
    moving.side = {0.8, 0.0, -0.6};
    moving.extForce = {0.0, 0.3, 0.0};
    moving.gear = 3;
    moving.engineRevs = 6.2;
    d.Add("moving.bin", FormatCarState(moving));
    CarState rescue = rest;
    rescue.needsRescue = true;
    rescue.eventTimer = -200;
    rescue.carNumber = 7;
    rescue.carType = 13;
    d.Add("rescue.bin", FormatCarState(rescue));
    CarState badGear = rest;
    badGear.gear = 9;
    d.Add("bad-gear.bin", FormatCarState(badGear));
}

// Damage records: the full-detail car undamaged, the same dented with smashed parts, soaked and
// pulling, the medium-detail car, and one with a role past the parts.
void WriteDamageRecords(const fs::path& root)
{
    SeedDir d(root, "fuzz_damage");
    DamageState whole;
    whole.parts = 12;
    whole.mainBody = 11;
    whole.roles = {7, 10, 1, 2, 6, 3, 1, 2, 4, 5, 1, 8, 9};
    const double thresholds[11] = {0.5, 0.2, 0.2, 0.5, 0.2, 0.2, 0.5, 0.5, 0.1, 0.1, 0.5};
    for (int p = 0; p < 11; ++p)
        whole.thresholds[p] = thresholds[p];
    d.Add("whole.bin", FormatDamageRecord(whole));
    DamageState dented = whole;
    dented.deformation[1] = 0.6;
    dented.deformation[7] = 1.0;
    dented.deformation[11] = 0.3;
    dented.smashed[1] = true;
    dented.values = {0.4, 0.9, 0.1, 0.5, 0.3, 0.475, 0.45, 0.6, 0.2, 0.9, 0.4, 0.5, 0.1};
    dented.water = 0.5;
    dented.drying = true;
    dented.pull = 40;
    dented.brokenLights = 2;
    d.Add("dented.bin", FormatDamageRecord(dented));
    DamageState medium = whole;
    medium.parts = 10;
    medium.mainBody = 9;
    medium.roles = {7, 8, 5, 6, 7, 1, 1, 1, 2, 1, 1, 1, 1};
    for (int p = 0; p < 11; ++p)
        medium.thresholds[p] = 0.2;
    d.Add("medium.bin", FormatDamageRecord(medium));
    DamageState badRole = whole;
    badRole.roles[4] = 30;
    d.Add("bad-role.bin", FormatDamageRecord(badRole));
}

// Scripted moving objects: one of every type with spins and the ground follower, records of
// type 0 among them; a single circle; and a record cut short.
void WriteMovingObjects(const fs::path& root)
{
    SeedDir d(root, "fuzz_moj");
    std::vector<MovingObject> all;
    for (uint32_t type = 0; type <= 5; ++type)
    {
        MovingObject o;
        o.type = type;
        o.angle = static_cast<int>(type * 700);
        o.distance = 4.0 + type;
        o.start = {10.0 * type, 1.0, -20.0};
        o.motionSeconds = static_cast<int>(type % 3) * 4;
        o.spinXSeconds = type == 5 ? 3 : 0;
        o.spinYSeconds = type == 4 ? -10 : 0;
        o.spinX2Seconds = type == 2 ? 6 : 0;
        o.followGround = type == 1;
        all.push_back(o);
    }
    d.Add("all-types.bin", FormatMovingObjects(all));
    d.Add("circle.bin", FormatMovingObjects({all[1]}));
    Bytes cut = FormatMovingObjects({all[3], all[4]});
    cut.resize(cut.size() - 5);
    d.Add("cut-short.bin", cut);
}

// Knocked-over objects' images: one at rest, one just hit with its impulses, a cone tumbling
// in the air, and one whose state lies past the six.
void WriteHitObjects(const fs::path& root)
{
    SeedDir d(root, "fuzz_hitobject");
    HitObjectState rest;
    rest.position = {4.0, 0.5, -12.0};
    rest.translation = rest.position;
    rest.kind = (7 << 5) | 3;
    rest.block = 2;
    rest.flags = 1;
    d.Add("rest.bin", FormatHitObject(rest));
    HitObjectState hit = rest;
    hit.impulse = {3.0, 0.4, -1.0};
    hit.spinImpulse = {0.2, 0.5, 0.0};
    hit.flags = 2 | (1 << 3);
    d.Add("hit.bin", FormatHitObject(hit));
    HitObjectState cone = rest;
    cone.kind = (9 << 5) | 13;
    cone.restFlags = 0x02;
    cone.velocity = {0.0, -2.0, 1.5};
    cone.spin = {3.0, 0.0, -1.0};
    cone.rows = {Vec3{0.6, 0.8, 0}, Vec3{-0.8, 0.6, 0}, Vec3{0, 0, 1}};
    cone.flags = 4 | (2 << 3) | 0x40 | 0x80;
    d.Add("cone-tumbling.bin", FormatHitObject(cone));
    HitObjectState bad = rest;
    bad.flags = 6 << 3;
    d.Add("bad-state.bin", FormatHitObject(bad));
}

// The small stage files: the demo's horizon record and animations, a record cut short, and an
// animation record without its terminator before a good one.
void WriteStageFiles(const fs::path& root)
{
    SeedDir d(root, "fuzz_stagefiles");
    const Bytes horizon = FormatHorizonRecord(DemoHorizonRecord());
    d.Add("horizon.ars", horizon);
    d.Add("horizon-short.ars", Bytes(horizon.begin(), horizon.end() - 1));
    d.Add("animations.anm", FormatAnimations({"SIGN", "WATER.BMP", "FLAG12345678"}));
    Bytes unterminated = FormatAnimations({"A", "SIGN"});
    std::fill(unterminated.begin(), unterminated.begin() + 13, 'A');
    unterminated.push_back('B');
    d.Add("unterminated.anm", unterminated);
}

// Cat's-eye chains: the demo stage's, one with a tail shorter than a record, and a short one
// far out across the world, facing every way, that the checkpoint tests run cars along.
void WriteCatsEyeSeeds(const fs::path& root)
{
    SeedDir d(root, "fuzz_catseye");
    const Bytes demo = FormatCatsEyes(DemoCatsEyes());
    d.Add("demo.cat", demo);
    Bytes tail(demo.begin(), demo.begin() + 3 * kCatsEyeRecordSize + 11);
    d.Add("tail.cat", tail);
    std::vector<CatsEye> far;
    for (int i = 0; i < 4; ++i)
    {
        CatsEye e;
        e.x = i & 1 ? 32000.0 : -32000.0;
        e.z = i & 2 ? 30000.0 : -30000.0;
        e.y = 500.0 * i;
        e.dirX = i & 1 ? -1.0 : 0.0;
        e.dirZ = i & 1 ? 0.0 : 1.0;
        e.split = i == 2;
        e.noPlace = i == 1;
        e.order = static_cast<uint16_t>(i);
        far.push_back(e);
    }
    d.Add("far.cat", FormatCatsEyes(far));
}

// The track cameras: the demo stage's, a tail, and cameras far out across the world of every
// kind and some that are none, kind-2 ones linking cat's eyes that are not there.
void WriteTrackCameraSeeds(const fs::path& root)
{
    SeedDir d(root, "fuzz_trackcam");
    const Bytes demo = FormatTrackCameras(DemoTrackCameras());
    d.Add("demo.tsc", demo);
    d.Add("tail.tsc", Bytes(demo.begin(), demo.begin() + 3 * kTrackCameraRecordSize + 7));
    std::vector<TrackCamera> far;
    for (int i = 0; i < 8; ++i)
    {
        TrackCamera c;
        c.x = i & 1 ? 32000.0 : -32000.0;
        c.y = 100.0 * i - 400.0;
        c.z = i & 2 ? 30000.0 : 12.5 * i;
        c.kind = i % kTrackCameraKinds;
        c.link = i == 2 ? 32767 : -i;
        far.push_back(c);
    }
    Bytes bytes = FormatTrackCameras(far);
    bytes[kTrackCameraRecordSize * 7 + 12] = 0xC8; // a kind the game has no camera for
    d.Add("far.tsc", bytes);
}

// The start positions: the demo stage's two sets, one set, a second set cut short, and less
// than one set.
void WriteStartPositionSeeds(const fs::path& root)
{
    SeedDir d(root, "fuzz_startpos");
    const Bytes demo = FormatStartPositions(DemoStartPositions());
    d.Add("demo.csp", demo);
    d.Add("one.csp", Bytes(demo.begin(), demo.begin() + kStartSetSize));
    d.Add("cut.csp", Bytes(demo.begin(), demo.begin() + kStartSetSize + 20));
    d.Add("short.csp", Bytes(demo.begin(), demo.begin() + kStartSetSize - 1));
}

// One-scene replay files as the scenes of one file of M frame slots a scene (at least the most
// any of them holds, the rest all 0): the first file's header with N, M and the scenes used set.
Bytes JoinReplayScenes(const std::vector<Bytes>& files, int frames)
{
    const size_t framesAt = kReplayHeaderSize + kReplaySnapshotSize;
    Bytes out(files[0].begin(), files[0].begin() + kReplayHeaderSize);
    const auto setHalf = [&out](size_t at, size_t value)
    {
        out[at] = static_cast<uint8_t>(value);
        out[at + 1] = static_cast<uint8_t>(value >> 8);
    };
    setHalf(48, files.size());
    setHalf(50, static_cast<size_t>(frames));
    setHalf(52, files.size());
    for (const Bytes& f : files)
        out.insert(out.end(), f.begin() + kReplayHeaderSize, f.begin() + framesAt);
    for (const Bytes& f : files)
    {
        const size_t slots = (f.size() - framesAt - 2) / kReplayFrameSize;
        out.insert(out.end(), f.begin() + framesAt, f.end() - 2);
        out.insert(out.end(), (static_cast<size_t>(frames) - slots) * kReplayFrameSize, 0);
    }
    for (const Bytes& f : files)
        out.insert(out.end(), f.end() - 2, f.end());
    return out;
}

// Replay files of the demo drive's snapshot: the demo stage's; a drive of every kind of control
// with its frame count at M, and the same with spare frame slots as a recorder leaves them; two
// scenes, the first short enough to play into the second; frames whose runs are 0 ticks; a scene
// of no frames; and a file one byte longer than its header implies.
void WriteReplaySeeds(const fs::path& root)
{
    SeedDir d(root, "fuzz_replay_file");
    const Bytes demo = DemoReplay();
    d.Add("demo.rep", demo);
    const std::span<const uint8_t> start = DemoDriveSnapshot();
    const Bytes snapshot(start.begin(), start.end());
    // TICKS ACCEL BRAKE LEFT RIGHT BUTTON1 BUTTON2 GEAR ANALOGUE, as the runs text has them.
    const std::vector<ReplayRun> runs = ParseReplayRuns("70 65536 0 0 0 0 0 0 0\n"
                                                        "5 40000 0 32768 0 0 0 1 5\n"
                                                        "4 65536 0 0 65536 0 1 0 2\n"
                                                        "6 0 65536 65536 0 1 0 0 0\n"
                                                        "3 0 20000 0 0 0 0 -1 4\n"
                                                        "2 0 0 0 65536 0 0 0 0\n"
                                                        "8 65536 0 65536 65536 0 0 0 0\n"
                                                        "1 0 0 0 0 0 0 0 0\n");
    const Bytes controls = FormatReplay(snapshot, runs);
    d.Add("count-at-m.rep", controls);
    const int slots = controls[50] | controls[51] << 8; // its M
    d.Add("spare-slots.rep", JoinReplayScenes({controls}, slots + 20));
    const Bytes brief = FormatReplay(snapshot, {runs[3], runs[1]});
    d.Add("two-scenes.rep", JoinReplayScenes({brief, controls}, slots));
    Bytes zero = controls;
    for (size_t frame : {0, 2})
        zero[kReplayHeaderSize + kReplaySnapshotSize + frame * kReplayFrameSize + 2] &= 0xC0;
    d.Add("zero-repeat.rep", zero);
    d.Add("no-frames.rep", FormatReplay(snapshot, {}));
    Bytes longer = demo;
    longer.push_back(0);
    d.Add("one-byte-long.rep", longer);
}

void WriteFuzzSeeds(const fs::path& dir)
{
    fs::create_directories(dir);
    WriteImages(dir);
    WriteFiles(dir);
    WriteTexts(dir);
    WriteRegistry(dir);
    WriteSounds(dir);
    WriteController(dir);
    WriteNetwork(dir);
    WriteNetworkMessageSeeds(dir);
    WriteScenes(dir);
    WriteGroundSeeds(dir);
    WriteCarStates(dir);
    WriteDamageRecords(dir);
    WriteMovingObjects(dir);
    WriteHitObjects(dir);
    WriteStageFiles(dir);
    WriteCatsEyeSeeds(dir);
    WriteTrackCameraSeeds(dir);
    WriteStartPositionSeeds(dir);
    WriteReplaySeeds(dir);
}
} // namespace datakit
