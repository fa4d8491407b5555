// Prints what the audio information component says about a file, one "name: value" line each.
#include "conversion/information_component.h"

#include <QCoreApplication>

#include <cstdio>

using namespace quillotone;

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (app.arguments().size() != 2) {
        std::fprintf(stderr, "usage: audio-info FILE\n");
        return 2;
    }
    QString path = app.arguments()[1];
    TAudioInformation2 info;
    auto line = [](const char* name, const QString& value) {
        std::printf("%s: %s\n", name, qPrintable(value));
    };
    auto yesNo = [](bool b) { return QString(b ? "true" : "false"); };
    line("IsMp3File", yesNo(info.IsMp3File(path)));
    line("IsWavFile", yesNo(info.IsWavFile(path)));
    line("IsOggFile", yesNo(info.IsOggFile(path)));
    line("IsWmaFile", yesNo(info.IsWmaFile(path)));
    info.OpenFile(path);
    line("SampleRate", QString::number(info.SampleRate()));
    line("Bitrate", QString::number(info.Bitrate()));
    line("DurationMs", QString::number(info.DurationMs()));
    line("FileSize", QString::number(info.FileSize()));
    line("ChannelMode", QString::number(info.ChannelMode()));
    line("FormatDescription", info.FormatDescription());
    line("Artist", info.Artist());
    line("Title", info.Title());
    line("TrackNumber", QString::number(info.TrackNumber()));
    line("Album", info.Album());
    line("Year", QString::number(info.Year()));
    line("Genre", info.Genre());
    line("Comment", info.Comment());
    line("Copyright", info.Copyright());
    line("Url", info.Url());
    line("EncodedBy", info.EncodedBy());
    return 0;
}
