#!/usr/bin/python3
"""A second reader and writer of tags for the tests, through mutagen.

tag_view.py make KIND FILE
    Puts tags on FILE (an untagged file from ffmpeg) the way other programs write them, with much more
    than the ten list fields: pictures, user text, lyrics, ratings, several values under one name,
    numeric attributes.
tag_view.py dump KIND FILE...
    Prints every frame, item, comment or attribute of the KIND tag of each FILE, one per line:
    "file" TAB hex(path), then per entry: hex(key) TAB hex(value). Several values of one entry are
    joined by a zero byte; binary data shows as its SHA-1.

KIND: id3v1, id3v2, apev2, ogg, asf.
"""
import base64
import hashlib
import sys

from mutagen import apev2, asf, flac, id3, oggvorbis

# A small PNG, as pictures are stored.
PICTURE = base64.b64decode(
    b"iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAYAAAAfFcSJAAAADUlEQVR42mNk+M9QDwADhgGAWjR9awAAAABJRU5ErkJggg==")


def sha1(data):
    return "sha1:" + hashlib.sha1(data).hexdigest()


def make_id3v1(path):
    # an APEv2 tag in front of the ID3v1 record, which an ID3v1 save leaves alone
    ape = apev2.APEv2()
    ape["Title"] = "ape title"
    ape["Cover Art (Front)"] = apev2.APEValue(b"cover.png\0" + PICTURE, apev2.BINARY)
    ape.save(path)
    # an ID3v1.1 record behind it, as the format lays it out
    def field(value, size):
        return value.encode("latin1").ljust(size, b"\0")
    record = (b"TAG" + field("v1 title", 30) + field("v1 artist", 30) + field("v1 album", 30) +
              field("2001", 4) + field("v1 comment", 28) + b"\0" + bytes([3, 8]))
    with open(path, "ab") as f:
        f.write(record)


def make_id3v2(path):
    tag = id3.ID3()
    tag.add(id3.TIT2(encoding=1, text="Ünïcode title 日本"))
    tag.add(id3.TPE1(encoding=1, text="Артист"))
    tag.add(id3.TALB(encoding=0, text="Album"))
    tag.add(id3.TRCK(encoding=0, text="3/12"))
    tag.add(id3.TYER(encoding=0, text="2001"))
    tag.add(id3.TCON(encoding=0, text="Jazz"))
    tag.add(id3.COMM(encoding=1, lang="eng", desc="", text="Comment ✓"))
    tag.add(id3.COMM(encoding=0, lang="eng", desc="iTunNORM", text=" 0000044E 00000000"))
    tag.add(id3.TCOP(encoding=0, text="(c) 2001"))
    tag.add(id3.WXXX(encoding=0, desc="", url="http://example.org/a"))
    tag.add(id3.TENC(encoding=0, text="Encoder"))
    tag.add(id3.TCOM(encoding=0, text="Composer"))
    tag.add(id3.TIT1(encoding=0, text="Grouping"))
    tag.add(id3.TOPE(encoding=0, text="Original artist"))
    tag.add(id3.TOAL(encoding=0, text="Original album"))
    tag.add(id3.TXXX(encoding=1, desc="MusicBrainz Album Id", text="7d1a-ü"))
    tag.add(id3.TXXX(encoding=0, desc="REPLAYGAIN_TRACK_GAIN", text="-3.20 dB"))
    tag.add(id3.USLT(encoding=1, lang="eng", desc="", text="la la ♪\nla"))
    tag.add(id3.POPM(email="someone@example.org", rating=196, count=7))
    tag.add(id3.PRIV(owner="WM/MediaClassPrimaryID", data=b"\x01\x02\x03"))
    tag.add(id3.APIC(encoding=0, mime="image/png", type=3, desc="front", data=PICTURE))
    tag.add(id3.APIC(encoding=0, mime="image/png", type=4, desc="back", data=PICTURE[::-1]))
    tag.save(path, v1=0, v2_version=3)


def make_ten(path):
    # the ten fields in Unicode, a picture and user text
    tag = id3.ID3()
    tag.add(id3.TIT2(encoding=1, text="Ünïcode title 日本"))
    tag.add(id3.TPE1(encoding=1, text="Артист"))
    tag.add(id3.TALB(encoding=0, text="Album"))
    tag.add(id3.TRCK(encoding=0, text="3"))
    tag.add(id3.TYER(encoding=0, text="2001"))
    tag.add(id3.TCON(encoding=0, text="Jazz"))
    tag.add(id3.COMM(encoding=1, lang="eng", desc="", text="Comment ✓"))
    tag.add(id3.TCOP(encoding=0, text="(c) 2001"))
    tag.add(id3.WXXX(encoding=0, desc="", url="http://example.org/a"))
    tag.add(id3.TENC(encoding=0, text="Encoder"))
    tag.add(id3.TXXX(encoding=1, desc="MusicBrainz Album Id", text="7d1a-ü"))
    tag.add(id3.APIC(encoding=0, mime="image/png", type=3, desc="front", data=PICTURE))
    tag.save(path, v1=0, v2_version=3)


def make_ten_v1(path):
    # and an ID3v1 record with the Latin-1 remains of the same fields
    make_ten(path)
    def field(value, size):
        return value.encode("latin1", "replace").ljust(size, b"\0")[:size]
    record = (b"TAG" + field("Ünïcode title ??", 30) + field("??????", 30) + field("Album", 30) +
              field("2001", 4) + field("Comment ?", 28) + b"\0" + bytes([3, 8]))
    with open(path, "ab") as f:
        f.write(record)


def make_apev2(path):
    ape = apev2.APEv2()
    ape["Title"] = "Ünïcode title 日本"
    ape["Artist"] = ["One", "Two"]
    ape["Album"] = "Album"
    ape["Track"] = "2/5"
    ape["Year"] = "2001"
    ape["Genre"] = "Jazz"
    ape["Comment"] = "Comment ✓"
    ape["Copyright"] = "(c) 2001"
    ape["URL"] = "http://example.org/a"
    ape["Encodedby"] = "Encoder"
    ape["Composer"] = "Composer"
    ape["REPLAYGAIN_TRACK_GAIN"] = "-3.20 dB"
    ape["Lyrics"] = "la la ♪\nla" * 50
    ape["Cover Art (Front)"] = apev2.APEValue(b"cover.png\0" + PICTURE, apev2.BINARY)
    ape["Related"] = apev2.APEValue("http://example.org/b", apev2.EXTERNAL)
    ape.save(path)


def make_ogg(path):
    f = oggvorbis.OggVorbis(path)
    picture = flac.Picture()
    picture.type = 3
    picture.mime = "image/png"
    picture.desc = "front"
    picture.data = PICTURE
    f.tags.clear()
    for key, value in (("TITLE", "Ünïcode title 日本"), ("ARTIST", "One"), ("ARTIST", "Two"),
                       ("PERFORMER", "Orchestra"), ("ALBUM", "Album"), ("TRACKNUMBER", "3/12"),
                       ("TRACKTOTAL", "12"), ("DATE", "2001-05-06"), ("GENRE", "Jazz"), ("GENRE", "Blues"),
                       ("COMMENT", "Comment ✓"), ("DESCRIPTION", "A description"),
                       ("COPYRIGHT", "(c) 2001"), ("LYRICS", "la la ♪\nla" * 50),
                       ("REPLAYGAIN_TRACK_GAIN", "-3.20 dB"),
                       ("METADATA_BLOCK_PICTURE", base64.b64encode(picture.write()).decode("ascii"))):
        f.tags.append((key, value))
    f.save()


def make_asf(path):
    f = asf.ASF(path)
    t = f.tags
    t["Title"] = [asf.ASFUnicodeAttribute("Ünïcode title 日本")]
    t["Author"] = [asf.ASFUnicodeAttribute("Артист")]
    t["WM/AlbumTitle"] = [asf.ASFUnicodeAttribute("Album")]
    t["WM/TrackNumber"] = [asf.ASFDWordAttribute(6)]
    t["WM/Year"] = [asf.ASFUnicodeAttribute("2001")]
    t["WM/Genre"] = [asf.ASFUnicodeAttribute("Rock"), asf.ASFUnicodeAttribute("Pop")]
    t["Description"] = [asf.ASFUnicodeAttribute("Comment ✓")]
    t["Copyright"] = [asf.ASFUnicodeAttribute("(c) 2001")]
    t["WM/URL"] = [asf.ASFUnicodeAttribute("http://example.org/a")]
    t["WM/EncodedBy"] = [asf.ASFUnicodeAttribute("Encoder")]
    t["WM/Composer"] = [asf.ASFUnicodeAttribute("Composer")]
    t["WM/Lyrics"] = [asf.ASFUnicodeAttribute("la la ♪\nla" * 50)]
    t["WM/BeatsPerMinute"] = [asf.ASFDWordAttribute(120)]
    t["WM/SharedUserRating"] = [asf.ASFDWordAttribute(99)]
    t["IsCompilation"] = [asf.ASFBoolAttribute(True)]
    t["WM/Picture"] = [asf.ASFByteArrayAttribute(
        b"\x03" + len(PICTURE).to_bytes(4, "little") + "image/png\0".encode("utf-16-le") +
        "front\0".encode("utf-16-le") + PICTURE)]
    f.save()


def text(values):
    return "\0".join(str(v) for v in values)


def dump_id3v1(path):
    with open(path, "rb") as f:
        f.seek(-128, 2)
        frames = id3.ParseID3v1(f.read(128), v2_version=3) or {}
    return {key: text(frame.text) for key, frame in frames.items()}


def dump_id3v2(path):
    try:
        tag = id3.ID3(path, translate=False, load_v1=False)
    except id3.ID3NoHeaderError:
        return {}
    out = {"version": "%d.%d" % tag.version[1:]}
    for key, frame in tag.items():
        if isinstance(frame, id3.APIC):
            out[key] = "%s|%d|%s|%s" % (frame.mime, frame.type, frame.desc, sha1(frame.data))
        elif isinstance(frame, id3.PRIV):
            out[key] = "%s|%s" % (frame.owner, sha1(frame.data))
        elif isinstance(frame, (id3.WXXX, id3.UrlFrame)):
            out[key] = frame.url
        elif isinstance(getattr(frame, "text", None), str):  # lyrics
            out[key] = frame.text
        elif hasattr(frame, "text") and not isinstance(frame, id3.SYLT):
            out[key] = text(frame.text)
        else:
            out[key] = repr(frame)
    return out


def dump_apev2(path):
    try:
        tag = apev2.APEv2(path)
    except apev2.APENoHeaderError:
        return {}
    out = {}
    for key, value in tag.items():
        if value.kind == apev2.BINARY:
            out[key] = "binary|" + sha1(value.value)
        elif value.kind == apev2.EXTERNAL:
            out[key] = "external|" + str(value)
        else:
            out[key] = text(list(value))
    return out


def dump_ogg(path):
    tags = oggvorbis.OggVorbis(path).tags
    out = {"vendor": tags.vendor}
    for key, value in tags:
        key = key.lower()
        out[key] = out[key] + "\0" + value if key in out else value
    return out


def dump_asf(path):
    out = {}
    for key, values in asf.ASF(path).tags.items():
        for value in values if isinstance(values, list) else [values]:
            if isinstance(value, asf.ASFByteArrayAttribute):
                shown = "%s:%s" % (type(value).__name__, sha1(value.value))
            else:
                shown = "%s:%s" % (type(value).__name__, value.value)
            key = key.lower()
            out[key] = out[key] + "\0" + shown if key in out else shown
    return out


def hexed(s):
    return s.encode("utf-8", "surrogatepass").hex()


def main():
    command, kind, paths = sys.argv[1], sys.argv[2], sys.argv[3:]
    if command == "make":
        globals()["make_" + kind](paths[0])
        return
    dump = globals()["dump_" + kind]
    lines = []
    for path in paths:
        lines.append("file\t" + hexed(path))
        for key, value in sorted(dump(path).items()):
            lines.append(hexed(key) + "\t" + hexed(value))
    print("\n".join(lines))


if __name__ == "__main__":
    main()
