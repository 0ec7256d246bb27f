// Skin and tool-set files: the INI reader, the skin reader (objects, rectangles, anchors, fills,
// colours, the object cap) and the tool-set reader, then a layout at an odd size.
#include "app/core/ini_store.h"
#include "app/skin/skin_document.h"
#include "app/skin/tool_set.h"

#include <QFontMetrics>
#include <QGuiApplication>

#include <cstddef>
#include <cstdint>
#include <string_view>

// Fontconfig keeps blocks of its configuration for the life of the process; they are the system
// library's, not a leak of the code under test.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libfontconfig.so\n";
}

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "skin_file_fuzzer";
    static char* argv[] = {name, nullptr};
    new QGuiApplication(argc, argv); // fonts need it; kept for the whole run
    // Fontconfig builds its caches on first use and keeps them: do that before the first input.
    (void)QFontMetrics(QFont(QStringLiteral("DejaVu Sans"))).height();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    pellucor::IniStore ini;
    if (!ini.parse(std::string_view(reinterpret_cast<const char*>(data), size)))
        return 0;
    const auto sections = pellucor::sectionsOf(ini);
    // No image folder: image keys are checked and fail to load, which is a path worth covering.
    auto doc = pellucor::SkinDocument::fromSections(sections, "/nonexistent-skin-images", "fuzz");
    doc->root().layout(QRect(0, 0, 37, 11));
    for (const auto& object : doc->objects()) {
        object->SetSpan(5);
        object->SetPictureRect(object->Text());
        (void)pellucor::parseFillColour(object->BitmapName());
    }
    doc->root().layout(QRect(0, 0, 2000, 900));
    QStringList errors;
    (void)pellucor::ToolSet::fromSections(sections, &errors);
    return 0;
}
