#include "ProfileFile.h"

#include <QFile>
#include <QSaveFile>
#include <algorithm>
#include <cctype>
#include <cstdlib>

namespace {

std::string Lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

std::string Trim(const std::string& s) {
    size_t b = 0;
    size_t e = s.size();
    while (b < e && (s[b] == ' ' || s[b] == '\t'))
        ++b;
    while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t'))
        --e;
    return s.substr(b, e - b);
}

// The text of the file as 8-bit bytes, and the encoding to write it back in.
QByteArray Decode(const QByteArray& data, ProfileFile::Encoding& encoding) {
    using E = ProfileFile::Encoding;
    const auto starts = [&](const char* mark, int n) {
        return data.size() >= n && std::equal(mark, mark + n, data.constData());
    };
    const auto utf16 = [&](bool littleEndian) {
        QString text;
        const qsizetype units = (data.size() - 2) / 2;
        text.reserve(units);
        const auto* b = reinterpret_cast<const unsigned char*>(data.constData()) + 2;
        for (qsizetype i = 0; i < units; ++i, b += 2)
            text.append(
                QChar(littleEndian ? char16_t(b[0] | (b[1] << 8)) : char16_t((b[0] << 8) | b[1])));
        return text.toUtf8();
    };
    if (starts("\xEF\xBB\xBF", 3)) {
        encoding = E::Utf8Bom;
        return data.mid(3);
    }
    if (starts("\xFF\xFE", 2)) {
        encoding = E::Utf16LE;
        return utf16(true);
    }
    if (starts("\xFE\xFF", 2)) {
        encoding = E::Utf16BE;
        return utf16(false);
    }
    encoding = E::Bytes;
    return data;
}

QByteArray Encode(const QByteArray& text, ProfileFile::Encoding encoding) {
    using E = ProfileFile::Encoding;
    if (encoding == E::Bytes)
        return text;
    if (encoding == E::Utf8Bom)
        return QByteArray("\xEF\xBB\xBF", 3) + text;
    const QString s = QString::fromUtf8(text);
    QByteArray out;
    out.reserve(2 + 2 * s.size());
    const bool le = encoding == E::Utf16LE;
    out.append(le ? "\xFF\xFE" : "\xFE\xFF", 2);
    for (const QChar c : s) {
        const char lo = static_cast<char>(c.unicode() & 0xFF);
        const char hi = static_cast<char>(c.unicode() >> 8);
        out.append(le ? lo : hi);
        out.append(le ? hi : lo);
    }
    return out;
}

} // namespace

ProfileFile::ProfileFile(QString path) : path_(std::move(path)) {}

bool ProfileFile::Exists() const {
    return QFile::exists(path_);
}

bool ProfileFile::Load() {
    lines_.clear();
    crlf_ = true;
    encoding_ = Encoding::Bytes;
    QFile f(path_);
    if (!f.exists())
        return true;
    if (!f.open(QIODevice::ReadOnly))
        return false;
    const QByteArray data = Decode(f.readAll(), encoding_);
    const int firstLf = data.indexOf('\n');
    if (firstLf >= 0)
        crlf_ = firstLf > 0 && data.at(firstLf - 1) == '\r';

    size_t pos = 0;
    const std::string all(data.constData(), static_cast<size_t>(data.size()));
    while (pos < all.size()) {
        size_t end = all.find('\n', pos);
        if (end == std::string::npos)
            end = all.size();
        std::string text = all.substr(pos, end - pos);
        if (!text.empty() && text.back() == '\r')
            text.pop_back();
        pos = end + 1;

        Line line;
        line.text = text;
        const std::string t = Trim(text);
        if (!t.empty() && t.front() == '[') {
            const size_t close = t.find(']');
            line.sectionKey = Lower(
                Trim(t.substr(1, close == std::string::npos ? std::string::npos : close - 1)));
            if (line.sectionKey.empty())
                line.sectionKey = std::string(1, '\0'); // "[]" is a section, not an entry
        } else if (!t.empty() && t.front() != ';') {
            const size_t eq = t.find('=');
            line.key = Lower(Trim(eq == std::string::npos ? t : t.substr(0, eq)));
        }
        lines_.push_back(std::move(line));
    }
    return true;
}

bool ProfileFile::Save() const {
    QSaveFile f(path_);
    if (!f.open(QIODevice::WriteOnly))
        return false;
    const char* eol = crlf_ ? "\r\n" : "\n";
    QByteArray out;
    for (const Line& line : lines_) {
        out.append(line.text.data(), static_cast<qsizetype>(line.text.size()));
        out.append(eol);
    }
    out = Encode(out, encoding_);
    if (f.write(out) != out.size())
        return false;
    return f.commit();
}

int ProfileFile::FindSection(const std::string& lowerSection) const {
    for (size_t i = 0; i < lines_.size(); ++i)
        if (lines_[i].sectionKey == lowerSection)
            return static_cast<int>(i);
    return -1;
}

int ProfileFile::FindKey(int sectionLine, const std::string& lowerKey) const {
    for (size_t i = static_cast<size_t>(sectionLine) + 1; i < lines_.size(); ++i) {
        if (!lines_[i].sectionKey.empty())
            break;
        if (lines_[i].key == lowerKey)
            return static_cast<int>(i);
    }
    return -1;
}

std::string ProfileFile::Read(const std::string& section, const std::string& key,
                              const std::string& def) const {
    std::string value = def;
    const int s = FindSection(Lower(Trim(section)));
    if (s >= 0) {
        const int k = FindKey(s, Lower(Trim(key)));
        if (k >= 0) {
            const std::string& text = lines_[static_cast<size_t>(k)].text;
            const size_t eq = text.find('=');
            value = eq == std::string::npos ? std::string() : Trim(text.substr(eq + 1));
            if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
                value.back() == value.front())
                value = value.substr(1, value.size() - 2);
        }
    }
    if (value.size() > static_cast<size_t>(kValueMax))
        value.resize(kValueMax);
    return value;
}

int ProfileFile::ReadInt(const std::string& section, const std::string& key, int def) const {
    const std::string v = Read(section, key, std::to_string(def));
    return std::atoi(v.c_str());
}

void ProfileFile::Write(const std::string& section, const std::string& key,
                        const std::string& value) {
    const std::string lowerSection = Lower(Trim(section));
    const std::string lowerKey = Lower(Trim(key));
    Line entry;
    // A line break inside a value would split it into lines of its own.
    std::string flat = value;
    std::replace(flat.begin(), flat.end(), '\r', ' ');
    std::replace(flat.begin(), flat.end(), '\n', ' ');
    entry.text = key + "=" + flat;
    entry.key = lowerKey;

    int s = FindSection(lowerSection);
    if (s < 0) {
        Line header;
        header.text = "[" + section + "]";
        header.sectionKey = lowerSection;
        lines_.push_back(std::move(header));
        lines_.push_back(std::move(entry));
        return;
    }
    const int k = FindKey(s, lowerKey);
    if (k >= 0) {
        lines_[static_cast<size_t>(k)] = std::move(entry);
        return;
    }
    // Append after the last entry of the section, before any blank lines that separate it
    // from the next one.
    size_t insertAt = static_cast<size_t>(s) + 1;
    for (size_t i = insertAt; i < lines_.size() && lines_[i].sectionKey.empty(); ++i)
        if (!Trim(lines_[i].text).empty())
            insertAt = i + 1;
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(insertAt), std::move(entry));
}

std::string ReadProfileString(const QString& path, const std::string& section,
                              const std::string& key, const std::string& def) {
    ProfileFile f(path);
    f.Load();
    return f.Read(section, key, def);
}

int ReadProfileInt(const QString& path, const std::string& section, const std::string& key,
                   int def) {
    ProfileFile f(path);
    f.Load();
    return f.ReadInt(section, key, def);
}

bool WriteProfileString(const QString& path, const std::string& section, const std::string& key,
                        const std::string& value) {
    ProfileFile f(path);
    if (!f.Load())
        return false;
    f.Write(section, key, value);
    return f.Save();
}
