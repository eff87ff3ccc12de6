// aisc: compiles a text configuration into an ".AIS" file, and dumps an ".AIS"
// file back as text.
//
//   aisc compile <config.txt> <out.ais>
//       "RawData" values name binary files (relative to the current directory);
//       their bytes become the file's raw-data blocks.
//   aisc dump <in.ais> <out.txt>
//       writes the tree as text; each raw-data block goes to <out.txt>.<n>.bin,
//       whose name becomes the "RawData" value, so compiling the dump gives the
//       same ".AIS" file again.
// Exit status: 0 on success, 1 on a failure (reported on standard error), 2 on a
// command line that is not understood ("aisc --help" lists the commands).
// Warnings (what the format cannot keep, raw data out of order) go to standard error.
#include "ai/runtime/ais_reader.h"
#include "ai/runtime/ais_writer.h"
#include "ai/runtime/config_node.h"
#include "tools/aisc/aisc_compile.h"
#include "tools/cli/tool_cli.h"
#include "tools/common/toolfiles.h"

#include <cstdio>
#include <string>
#include <vector>

namespace {

using namespace Zelk;

bool RawFromFile(const CConfigNode* node, std::vector<uint8_t>* bytes, void*)
{
    return node->GetValue() && ToolReadFile(node->GetValue(), bytes);
}

void Warn(const char* text)
{
    std::fprintf(stderr, "aisc: warning: %s\n", text);
}

int Compile(const char* input, const char* output)
{
    std::vector<uint8_t> text;
    if (!ToolReadFile(input, &text)) {
        std::fprintf(stderr, "aisc: %s: cannot read\n", input);
        return 1;
    }
    CAiscResult result;
    const bool compiled =
        AiscCompile(reinterpret_cast<const char*>(text.data()), text.size(), &RawFromFile, nullptr, result);
    for (const std::string& w : result.warnings) {
        Warn(w.c_str());
    }
    if (!compiled) {
        if (result.line > 0) {
            std::fprintf(stderr, "aisc: %s:%d: %s\n", input, result.line, result.error.c_str());
        } else {
            std::fprintf(stderr, "aisc: %s: %s\n", input, result.error.c_str());
        }
        return 1;
    }
    if (!ToolWriteFile(output, result.file.data(), result.file.size())) {
        std::fprintf(stderr, "aisc: %s: cannot write\n", output);
        return 1;
    }
    return 0;
}

int Dump(const char* input, const char* output)
{
    std::vector<uint8_t> file;
    if (!ToolReadFile(input, &file)) {
        std::fprintf(stderr, "aisc: %s: cannot read\n", input);
        return 1;
    }
    CMemoryAisInput source(file.data(), file.size());
    CAisReader reader;
    CConfigNode root;
    if (!reader.Load(&source, &root)) {
        std::fprintf(stderr, "aisc: %s: %s\n", input, reader.GetLastError());
        return 1;
    }
    std::vector<const CConfigNode*> raw;
    CollectRawDataNodes(root, &raw);
    for (std::size_t i = 0; i < raw.size(); ++i) {
        auto* node = const_cast<CConfigNode*>(raw[i]);
        if (!reader.OpenRawData(node)) {
            std::fprintf(stderr, "aisc: %s: raw-data block %zu is missing\n", input, i);
            return 1;
        }
        std::vector<uint8_t> bytes(reader.GetRawDataSize(node));
        uint32_t got =
            bytes.empty() ? 0 : reader.ReadRawData(node, bytes.data(), static_cast<uint32_t>(bytes.size()));
        reader.CloseRawData(node);
        if (got != bytes.size()) {
            std::fprintf(stderr, "aisc: %s: raw-data block %zu is truncated\n", input, i);
            return 1;
        }
        std::string name = std::string(output) + "." + std::to_string(i) + ".bin";
        if (!ToolWriteFile(name, bytes.data(), bytes.size())) {
            std::fprintf(stderr, "aisc: %s: cannot write\n", name.c_str());
            return 1;
        }
        node->SetValue(name.c_str());
    }
    std::string text, why;
    if (!WriteConfigText(root, &text, &why)) {
        std::fprintf(stderr, "aisc: %s: %s\n", input, why.c_str());
        return 1;
    }
    if (!ToolWriteFile(output, text.data(), text.size())) {
        std::fprintf(stderr, "aisc: %s: cannot write\n", output);
        return 1;
    }
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    ToolCli::App app(
        "Compiles a text configuration into an \".AIS\" file, and dumps an \".AIS\" file back as text.",
        "aisc");
    app.require_subcommand(1);
    std::string input;
    std::string output;
    ToolCli::App* compile = app.add_subcommand("compile", "text configuration -> \".AIS\" file");
    compile->add_option("config", input, "text configuration")->required();
    compile->add_option("out", output, "\".AIS\" file to write")->required();
    ToolCli::App* dump =
        app.add_subcommand("dump", "\".AIS\" file -> text (raw-data blocks as <out>.<n>.bin)");
    dump->add_option("in", input, "\".AIS\" file")->required();
    dump->add_option("out", output, "text file to write")->required();
    int status = 0;
    if (!ToolCli::Parse(app, argc, argv, &status))
        return status;
    return compile->parsed() ? Compile(input.c_str(), output.c_str()) : Dump(input.c_str(), output.c_str());
}
