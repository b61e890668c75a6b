// Helpers for end-to-end tests of corvane-cli.
#include "support/CliRunner.h"

namespace corvane::test {

ProcessResult RunCli(const std::vector<std::string>& args) {
    std::vector<std::string> argv = {CliPath()};
    argv.insert(argv.end(), args.begin(), args.end());
    return RunProcess(argv);
}

std::string JsonValue(const std::string& text, const std::string& key, size_t from) {
    const std::string needle = "\"" + key + "\": ";
    const size_t at = text.find(needle, from);
    if (at == std::string::npos) return "";
    size_t i = at + needle.size();
    const size_t begin = i;
    if (i < text.size() && text[i] == '"') {
        for (++i; i < text.size() && text[i] != '"'; ++i) {
            if (text[i] == '\\') ++i;
        }
        return text.substr(begin, i + 1 - begin);
    }
    while (i < text.size() && text[i] != ',' && text[i] != '}' && text[i] != ']') ++i;
    return text.substr(begin, i - begin);
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    size_t from = 0;
    while (from < text.size()) {
        const size_t newline = text.find('\n', from);
        lines.push_back(text.substr(from, newline - from));
        if (newline == std::string::npos) break;
        from = newline + 1;
    }
    return lines;
}

std::string MutagenTags(const std::string& path) {
    static const char* script =
        "import sys\n"
        "from mutagen.id3 import ID3\n"
        "t = ID3(sys.argv[1])\n"
        "for k in ['TIT2','TPE1','TALB','TYER','TDRC','TCON','TRCK']:\n"
        "    if k in t: print(k + '=' + str(t[k].text[0]))\n"
        "for c in t.getall('COMM'): print('COMM=' + c.text[0].replace('\\n', '\\\\n'))\n";
    return RunProcess({"/usr/bin/python3", "-c", script, path}).out;
}

}  // namespace corvane::test
