// Files read into the world at the place that names them: Inline and
// WWWInline nodes, and the files of EXTERNPROTO declarations. An included
// file is read by this parser, at the current level and with its state, and
// reading returns to the including file afterwards.

#include "Prototypes.h"
#include "parser/DepthGuard.h"
#include "parser/VRMLParser.h"
#include "parser/ValueGuard.h"
#include "state/VRMLSeparator.h"

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <iterator>
#include <memory>
#include <new>
#include <system_error>

namespace fs = std::filesystem;

namespace {

// Files are written on one system and read on another: both separators count
// everywhere, in the reference and in the path of the including file.
bool IsSeparator(char c) { return c == '/' || c == '\\'; }

bool IsAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

bool HasDrive(const std::string& path) { return path.size() >= 2 && IsAsciiLetter(path[0]) && path[1] == ':'; }

char FoldCase(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualIgnoringCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return FoldCase(x) == FoldCase(y); });
}

// A reference as the file writes it, made ready for opening: without its
// quotes and string escapes, surrounding blanks, and the "#fragment" that
// names a place inside the file (which is read whole).
std::string CleanReference(std::string reference) {
    CVRMLParser::RemoveQuotes(reference);
    std::string clean;
    for (size_t i = 0; i < reference.size(); ++i) {
        // Inside a VRML string \" and \\ stand for " and \; any other
        // backslash is taken as written, as a directory separator.
        if (reference[i] == '\\' && i + 1 < reference.size() && (reference[i + 1] == '"' || reference[i + 1] == '\\'))
            ++i;
        clean += reference[i];
    }
    size_t fragment = clean.find('#');
    if (fragment != std::string::npos)
        clean.erase(fragment);
    const char* blanks = " \t\r\n";
    size_t first = clean.find_first_not_of(blanks);
    if (first == std::string::npos)
        return std::string();
    return clean.substr(first, clean.find_last_not_of(blanks) - first + 1);
}

// "http://...", "ftp:..." and the like: a scheme of two or more characters
// and a colon. One letter and a colon is a drive.
bool HasUrlScheme(const std::string& reference) {
    size_t colon = reference.find(':');
    if (colon == std::string::npos || colon < 2 || !IsAsciiLetter(reference[0]))
        return false;
    for (size_t i = 1; i < colon; ++i) {
        char c = reference[i];
        if (!IsAsciiLetter(c) && !(c >= '0' && c <= '9') && c != '+' && c != '-' && c != '.')
            return false;
    }
    return true;
}

// The drive and directories of a path as written, separator kept at the end;
// empty for a bare file name.
std::string DirectoryOf(const std::string& path) {
    size_t last = path.find_last_of("/\\");
    if (last != std::string::npos)
        return path.substr(0, last + 1);
    return HasDrive(path) ? path.substr(0, 2) : std::string();
}

struct SplitReference {
    bool absolute = false;               // a drive or a leading separator
    std::vector<std::string> components; // directories, then the file name
};

SplitReference Split(const std::string& reference) {
    SplitReference split;
    size_t at = 0;
    if (HasDrive(reference)) {
        split.absolute = true;
        at = 2;
    }
    if (at < reference.size() && IsSeparator(reference[at]))
        split.absolute = true;
    while (at <= reference.size()) {
        size_t next = at;
        while (next < reference.size() && !IsSeparator(reference[next]))
            ++next;
        std::string component = reference.substr(at, next - at);
        if (!component.empty() && component != ".")
            split.components.push_back(component);
        else if (next == reference.size() && !split.components.empty())
            split.components.push_back(std::string()); // a trailing separator: no file name
        at = next + 1;
    }
    return split;
}

std::string Join(const std::string& directory, const std::string& name) {
    if (directory.empty())
        return name;
    return IsSeparator(directory.back()) ? directory + name : directory + '/' + name;
}

// The entry of `directory` whose name equals `name` ignoring ASCII case, or
// empty. Of several, the first by byte order, so that the choice does not
// depend on the order the system lists them in.
std::string FindIgnoringCase(const std::string& directory, const std::string& name) {
    std::error_code error;
    fs::directory_iterator entries(directory.empty() ? fs::path(".") : fs::path(directory), error);
    std::string best;
    for (; !error && entries != fs::directory_iterator(); entries.increment(error)) {
        std::string candidate;
        try {
            candidate = entries->path().filename().string();
        } catch (const std::exception&) {
            continue; // a name the system cannot give as bytes
        }
        if (EqualIgnoringCase(candidate, name) && (best.empty() || candidate < best))
            best = candidate;
    }
    return best;
}

// `components` under `directory`, each as written when it exists and else as
// the entry that matches it ignoring case (archives written on systems that
// ignore case rely on that); empty when some component matches nothing.
std::string Resolve(const std::string& directory, const std::vector<std::string>& components) {
    std::string path = directory;
    std::error_code error;
    for (const std::string& component : components) {
        if (component.empty())
            return std::string();
        std::string exact = Join(path, component);
        if (component == ".." || fs::exists(exact, error)) {
            path = exact;
            continue;
        }
        std::string matched = FindIgnoringCase(path, component);
        if (matched.empty())
            return std::string();
        path = Join(path, matched);
    }
    return fs::is_regular_file(path, error) ? path : std::string();
}

// The key under which a file counts as open: its canonical path when the
// system can give one.
std::string CanonicalKey(const std::string& path) {
    std::error_code error;
    fs::path canonical = fs::weakly_canonical(fs::path(path), error);
    return error ? path : canonical.string();
}

// Whether `path` (resolved) lies in `root` (resolved) or below it, compared
// component by component so that /data/scenes2 is not inside /data/scenes.
bool IsInside(const fs::path& path, const fs::path& root) {
    auto p = path.begin();
    for (auto r = root.begin(); r != root.end(); ++r, ++p) {
        if (r->empty() && std::next(r) == root.end())
            return true; // a root given with a trailing separator
        if (p == path.end() || *p != *r)
            return false;
    }
    return true;
}

bool SameFile(const std::string& a, const std::string& b) {
    if (a == b)
        return true;
    std::error_code error;
    return fs::equivalent(a, b, error) && !error;
}

} // namespace

int CVRMLParser::ParseWWWInline() {
    if (!CurrentSeparator)
        return 1;
    std::string reference;
    AdvanceWhileKind({VRML_OPEN_BRACE, VRML_OPEN_BRACKET, VRML_INLINE});
    while (GetCurrentTokenType() != VRML_CLOSE_BRACE && GetCurrentTokenType() != VRML_END_OF_INPUT) {
        if (GetCurrentTokenType() == VRML_URL || GetCurrentTokenType() == VRML_NAME) {
            Tokenize();
            if (GetCurrentTokenBeginType())
                Tokenize();
            // Of a list only the first file is tried. An empty list names no
            // file at all, as if the field were absent.
            reference.clear();
            if (!GetCurrentTokenEndType() && GetCurrentTokenType() != VRML_END_OF_INPUT)
                reference = GetCurrentTokenString();
            if (GetCurrentTokenType() == VRML_CLOSE_BRACKET)
                Tokenize();
            continue;
        }
        Tokenize();
    }
    // While a node is skipped nothing the file holds could be kept.
    if (SkippingBlock)
        return 1;
    // In the standard mode a named Inline is a node that a USE repeats: its
    // content is read into a level of its own, recorded under the name. The
    // level gives back nothing, so the state goes on as without it.
    if (StandardSemantics && !EntityName.empty()) {
        if (!OpenNodeLevel(CVRMLSeparator::RestoresNothing))
            return 0;
        const int result = ReadReferencedFile(reference, false);
        PopSeparator();
        return result;
    }
    return ReadReferencedFile(reference, false);
}

int CVRMLParser::ReadReferencedFile(const std::string& reference, bool once) {
    if (CleanReference(reference).empty())
        return 1; // no file named
    std::string path = reference;
    if (!CreateSubfilePath(path))
        return 0; // a URL to be fetched, which this loader does not do
    if (!once)
        return ParseSubfile(path);
    std::string key = CanonicalKey(path);
    if (std::find(ExternProtoFiles.begin(), ExternProtoFiles.end(), key) != ExternProtoFiles.end())
        return 1;
    try {
        ExternProtoFiles.push_back(key);
    } catch (const std::exception&) {
        return 0;
    }
    int result = ParseSubfile(path);
    if (!result) { // a file that could not be read is tried again when named again
        auto listed = std::find(ExternProtoFiles.begin(), ExternProtoFiles.end(), key);
        if (listed != ExternProtoFiles.end())
            ExternProtoFiles.erase(listed);
    }
    return result;
}

int CVRMLParser::DeclareExternalPrototype(const std::string& name, const std::string& url) {
    std::string path = url;
    if (!CreateSubfilePath(path))
        return 0; // no file named, or a URL to be fetched
    const std::string key = CanonicalKey(path);
    auto read = ExternalPrototypes.find(key);
    if (read == ExternalPrototypes.end()) {
        // Listed, with nothing declared yet, while the file is read: a file
        // that names itself, directly or through others, finds no prototype
        // there rather than being read again and again.
        read = ExternalPrototypes.emplace(key, std::vector<CVRMLPrototype*>()).first;
        const size_t before = PrototypeDictionary.size();
        int result;
        {
            ValueGuard<int> declarations(ReadingDeclarations, 1);
            result = ParseSubfile(path);
        }
        read = ExternalPrototypes.find(key);
        if (read == ExternalPrototypes.end())
            return 0;
        if (!result) {
            ExternalPrototypes.erase(read);
            return 0; // tried again when named again
        }
        read->second.assign(std::next(PrototypeDictionary.begin(), static_cast<long>(before)),
                            PrototypeDictionary.end());
    }
    // The fragment names the prototype; without one the file's first is meant.
    std::string wanted = url;
    RemoveQuotes(wanted);
    const size_t hash = wanted.find('#');
    wanted = hash == std::string::npos ? std::string() : wanted.substr(hash + 1);
    wanted.erase(0, std::min(wanted.size(), wanted.find_first_not_of(" \t\r\n")));
    wanted.erase(std::min(wanted.size(), wanted.find_last_not_of(" \t\r\n") + 1));
    const std::vector<CVRMLPrototype*>& declared = read->second;
    const auto chosen = std::find_if(declared.begin(), declared.end(), [&](const CVRMLPrototype* prototype) {
        return wanted.empty() || prototype->GetName() == wanted;
    });
    if (chosen == declared.end())
        return 0;
    if (name.empty() || FindPrototype(name))
        return 1; // the earliest declaration of a name stays in force
    // The same declaration under the name this file uses.
    std::unique_ptr<CVRMLPrototype> copy(new (std::nothrow) CVRMLPrototype);
    if (!copy)
        return 0;
    const CVRMLPrototype& source = **chosen;
    copy->SetName(name);
    copy->SetSourceFile(source.GetSourceFile());
    for (const auto& field : source.GetFieldDeclarations())
        if (!copy->AddFieldDeclaration(field->GetName(), field->GetType(), field->GetText()))
            return 0;
    copy->SetBody(source.GetBody());
    return AddPrototypeToDictionary(copy.release());
}

// One top-level statement of a file read for its prototypes: a PROTO or
// EXTERNPROTO is declared, anything else is passed over whole.
void CVRMLParser::ReadDeclarationStatement() {
    const VRMLTokenTypes type = GetCurrentTokenType();
    if (type == VRML_PROTO || type == VRML_EXTERNPROTO) {
        ParseBlock();
        return;
    }
    if (type == VRML_OPEN_BRACE)
        SkipBlock(0);
    else if (type == VRML_OPEN_BRACKET)
        SkipArray(0);
    Tokenize();
}

// Looked for in the directory of the file being read: first the path the
// reference gives below it ("parts/wheel.wrl"), then the bare file name
// beside it, since files are often moved together without their folders. A
// reference with a drive or from the root is only looked for beside it.
int CVRMLParser::CreateSubfilePath(std::string& name) {
    try {
        std::string reference = CleanReference(name);
        if (reference.empty() || HasUrlScheme(reference))
            return 0;
        SplitReference split = Split(reference);
        if (split.components.empty() || split.components.back().empty())
            return 0;
        std::string including = IOManager.GetFilename();
        RemoveQuotes(including);
        const std::string directory = DirectoryOf(including);

        std::vector<std::vector<std::string>> candidates;
        if (!split.absolute && split.components.size() > 1)
            candidates.push_back(split.components);
        candidates.push_back({split.components.back()});
        for (const auto& candidate : candidates) {
            std::string found = Resolve(directory, candidate);
            if (!found.empty()) {
                name = found;
                return 1;
            }
        }
        // Found nowhere: the first place looked at, where opening will fail.
        std::string path = directory;
        for (const std::string& component : candidates.front())
            path = Join(path, component);
        name = path;
        return name.empty() ? 0 : 1;
    } catch (const std::exception&) {
        return 0;
    }
}

void CVRMLParser::ResolveIncludeRoot() {
    IncludeRootCanonical.clear();
    if (IncludeRoot.empty())
        return;
    std::error_code error;
    fs::path root = fs::weakly_canonical(fs::absolute(fs::path(IncludeRoot), error), error);
    // A root that cannot be resolved admits nothing, rather than everything.
    IncludeRootCanonical = error ? std::string(1, '\0') : root.string();
}

bool CVRMLParser::MayReadReferencedFile(const std::string& path, C3DFileInterface& reader) {
    if (ReadBytes >= MaxReadBytes)
        return false;
    reader.SetMaxTextSize(MaxReadBytes - ReadBytes);
    if (IncludeRoot.empty())
        return true;
    try {
        std::error_code error;
        // canonical resolves ".." and every symbolic link, and fails for a
        // file that does not exist, which is not read either.
        const fs::path resolved = fs::canonical(fs::path(path), error);
        return !error && IsInside(resolved, fs::path(IncludeRootCanonical));
    } catch (const std::exception&) {
        return false;
    }
}

void CVRMLParser::CountRead(const C3DFileInterface& reader) {
    // A reader that went past its share read one byte more to notice it.
    ReadBytes += std::min(reader.GetTextBytesDelivered(), MaxReadBytes - std::min(ReadBytes, MaxReadBytes));
}

int CVRMLParser::ParseSubfile(const std::string& path) {
    if (InlineDepth >= MaxInlineDepth || InlineCount >= MaxInlineCount)
        return 0;
    // A reference written "-" names a file of that name, never standard input.
    if (path == CGenericParser::StandardInputName)
        return ParseSubfile(std::string("./") + path);
    ++InlineCount;
    const size_t openBefore = OpenSubfiles.size();
    auto closeEntries = [&] { OpenSubfiles.resize(std::min(OpenSubfiles.size(), openBefore)); };
    try {
        if (OpenSubfiles.empty()) {
            for (const std::string& reading : {ParsedFile, IOManager.GetFilename()})
                if (!reading.empty())
                    OpenSubfiles.push_back(CanonicalKey(reading));
        }
        const std::string key = CanonicalKey(path);
        // A file read only for its prototype declarations builds nothing, so
        // it may be one that is being read already (a scene that names its
        // own prototypes through EXTERNPROTO); its own recursion is stopped
        // where the declarations are asked for.
        for (const std::string& open : OpenSubfiles) {
            if (!ReadingDeclarations && SameFile(open, key)) {
                closeEntries();
                return 0; // already being read, directly or through other files
            }
        }
        OpenSubfiles.push_back(key);
    } catch (const std::exception&) {
        closeEntries();
        return 0;
    }

    std::unique_ptr<CVRMLIOManager> reader(new (std::nothrow) CVRMLIOManager);
    CGenericIOState fileStart;
    if (reader && MayReadReferencedFile(path, reader->GetFileInterface())) {
        reader->SetFilename(path);
        reader->SetStandardSemantics(StandardSemantics);
        if (reader->OpenFile() == VRML_LOAD_SUCCESS) {
            reader->SaveIOState(fileStart);
            CollectUsedNames(*reader);
        }
        reader->CloseFile(); // the text is loaded: no handle stays open while the file is read
        CountRead(reader->GetFileInterface());
    }
    int result = 0;
    if (fileStart.IsValid()) {
        CGenericIOState returnPosition;
        SaveIOState(returnPosition);
        const std::string includingFile = IOManager.GetFilename();
        const int includingVersion = IOManager.GetVersion();
        // Each file is read in the dialect its own header names.
        IOManager.SetFilename(path);
        IOManager.SetVersion(reader->GetVersion());
        IOManager.RestoreIOState(fileStart);
        MarkPrototypeNames();
        {
            DepthGuard depth(InlineDepth);
            result = ReadEmbeddedStatements();
        }
        IOManager.SetFilename(includingFile);
        IOManager.SetVersion(includingVersion);
        RestoreIOState(returnPosition);
    }
    closeEntries();
    return result;
}

int CVRMLParser::ReadEmbeddedStatements() {
    CVRMLSeparator* const level = CurrentSeparator;
    const size_t levelsBefore = SeparatorStack.size();
    CVRMLSeparator* const outerEmbedding = EmbeddingLevel;
    EmbeddingLevel = level;
    int result = 0;
    while (GetCurrentTokenType() != VRML_END_OF_INPUT) {
        if (ReadingDeclarations)
            ReadDeclarationStatement();
        else if (ParseBlock())
            result = 1;
    }
    result = ReadingDeclarations ? 1 : result;
    // A text that ends inside a separator leaves no level of its own open.
    while (SeparatorStack.size() > levelsBefore && CurrentSeparator && CurrentSeparator != level)
        PopSeparator();
    EmbeddingLevel = outerEmbedding;
    return result;
}
