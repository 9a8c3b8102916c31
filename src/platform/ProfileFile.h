#pragma once
// Private-profile ("ini") files with the semantics the program relies on:
//  - sections and keys are found without regard to case;
//  - a read returns the default when the file, section or key is missing, and values are cut
//    to 99 characters (the 100-byte buffers every caller uses);
//  - leading/trailing blanks around keys and values are ignored, and one pair of matching
//    quotes around a value is removed;
//  - a write replaces the key in place or appends it at the end of its section (a missing
//    section is appended at the end of the file), so keys stay in the order first written;
//  - existing files are read with LF or CRLF line ends; a rewritten file keeps its style,
//    a new file gets CRLF, as the program's files have always had;
//  - a file that Windows editors saved with a UTF-8 byte-order mark, or as UTF-16 with its
//    byte-order mark, is read as the text it holds (values come out as UTF-8) and written back
//    in the same encoding; a file without a mark is taken byte for byte;
//  - a file is rewritten through a temporary file and a rename, so a crash never leaves half of it.

#include <QString>
#include <string>
#include <vector>

class ProfileFile {
public:
    static constexpr int kValueMax = 99;

    explicit ProfileFile(QString path);

    // Reads the file; a missing file is an empty profile. Returns false only on a read error.
    bool Load();
    // Writes the file atomically. Returns false when it cannot be written.
    bool Save() const;

    bool Exists() const;
    std::string Read(const std::string& section, const std::string& key,
                     const std::string& def = "-1") const;
    int ReadInt(const std::string& section, const std::string& key, int def = -1) const;
    void Write(const std::string& section, const std::string& key, const std::string& value);

    const QString& Path() const { return path_; }

    // How the file was stored; a rewrite keeps it.
    enum class Encoding { Bytes, Utf8Bom, Utf16LE, Utf16BE };
    Encoding FileEncoding() const { return encoding_; }

private:
    struct Line {
        std::string text;       // the raw line without its line end
        std::string sectionKey; // for a section header: the name, lower-cased
        std::string key;        // for an entry: the key, lower-cased
    };
    int FindSection(const std::string& lowerSection) const;
    int FindKey(int sectionLine, const std::string& lowerKey) const;

    QString path_;
    std::vector<Line> lines_;
    bool crlf_ = true;
    Encoding encoding_ = Encoding::Bytes;
};

// One-call helpers in the manner of the Windows profile calls: each reads or rewrites the file.
std::string ReadProfileString(const QString& path, const std::string& section,
                              const std::string& key, const std::string& def = "-1");
int ReadProfileInt(const QString& path, const std::string& section, const std::string& key,
                   int def = -1);
bool WriteProfileString(const QString& path, const std::string& section, const std::string& key,
                        const std::string& value);
