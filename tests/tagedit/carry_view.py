#!/usr/bin/python3
"""Sources with everything taggers put on files, and a format-neutral view of what an output holds.

carry_view.py make KIND FILE
    Tags FILE (untagged audio from ffmpeg) as other programs do: the ten fields and pictures, album
    artist, disc, composer, conductor, lyrics, full date, BPM, ReplayGain, MusicBrainz ids and a
    free-form MOOD. KIND: id3v2, ogg, asf.
carry_view.py dump KIND FILE
    Prints one JSON object: "fields" (neutral names, text values) and "pictures" (type, MIME type,
    description, SHA-1 of the data), read through mutagen. KIND: id3v2, apev2, ogg, asf.
carry_view.py same KIND FILE KIND FILE [FIELD...]
    Compares the two views, leaving out the named fields; prints each difference and exits 1 if any.
"""
import base64
import hashlib
import json
import sys

from mutagen import apev2, asf, flac, id3, oggvorbis

FRONT = base64.b64decode(
    b"iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAYAAAAfFcSJAAAADUlEQVR42mNk+M9QDwADhgGAWjR9awAAAABJRU5ErkJggg==")
# A JPEG's first bytes and some more: no reader decodes it, every one keeps it.
BACK = b"\xff\xd8\xff\xe0\x00\x10JFIF\x00\x01\x01\x00\x00\x01\x00\x01\x00\x00" + bytes(range(256)) * 300

TEXT = {
    "title": "Ünïcode title 日本", "artist": "Артист", "album": "Album", "genre": "Jazz",
    "comment": "Comment ✓", "albumartist": "Various Ärtists", "composer": "Composer ü",
    "conductor": "Conductor", "lyrics": "la la ♪\nla", "bpm": "120",
    "rg_track_gain": "-3.20 dB", "rg_track_peak": "0.988000", "rg_album_gain": "-4.00 dB",
    "rg_album_peak": "1.000000", "mb_albumid": "7d1a2b3c-0000-4000-8000-000000000001",
    "mb_trackid": "a1b2c3d4-0000-4000-8000-000000000002", "mood": "Calm",
}
PICTURES = [(3, "image/png", "front", FRONT), (4, "image/jpeg", "back", BACK)]


def make_id3v2(path):
    tag = id3.ID3()
    tag.add(id3.TIT2(encoding=1, text=TEXT["title"]))
    tag.add(id3.TPE1(encoding=1, text=TEXT["artist"]))
    tag.add(id3.TALB(encoding=0, text=TEXT["album"]))
    tag.add(id3.TRCK(encoding=0, text="3/12"))
    tag.add(id3.TDRC(encoding=0, text="2001-05-06"))  # saved as 2.3: TYER 2001, TDAT 0605
    tag.add(id3.TCON(encoding=0, text=TEXT["genre"]))
    tag.add(id3.COMM(encoding=1, lang="eng", desc="", text=TEXT["comment"]))
    tag.add(id3.TPE2(encoding=1, text=TEXT["albumartist"]))
    tag.add(id3.TPOS(encoding=0, text="1/2"))
    tag.add(id3.TCOM(encoding=1, text=TEXT["composer"]))
    tag.add(id3.TPE3(encoding=0, text=TEXT["conductor"]))
    tag.add(id3.USLT(encoding=1, lang="eng", desc="", text=TEXT["lyrics"]))
    tag.add(id3.TBPM(encoding=0, text=TEXT["bpm"]))
    for key in ("track_gain", "track_peak", "album_gain", "album_peak"):
        tag.add(id3.TXXX(encoding=0, desc="REPLAYGAIN_" + key.upper(), text=TEXT["rg_" + key]))
    tag.add(id3.TXXX(encoding=0, desc="MusicBrainz Album Id", text=TEXT["mb_albumid"]))
    tag.add(id3.UFID(owner="http://musicbrainz.org", data=TEXT["mb_trackid"].encode()))
    tag.add(id3.TXXX(encoding=0, desc="MOOD", text=TEXT["mood"]))
    for ptype, mime, desc, data in PICTURES:
        tag.add(id3.APIC(encoding=0, mime=mime, type=ptype, desc=desc, data=data))
    tag.save(path, v1=0, v2_version=3)


def make_ogg(path):
    f = oggvorbis.OggVorbis(path)
    f.tags.clear()
    pairs = [("TITLE", TEXT["title"]), ("ARTIST", TEXT["artist"]), ("ALBUM", TEXT["album"]),
             ("TRACKNUMBER", "3"), ("TRACKTOTAL", "12"), ("DATE", "2001-05-06"), ("GENRE", TEXT["genre"]),
             ("COMMENT", TEXT["comment"]), ("ALBUMARTIST", TEXT["albumartist"]), ("DISCNUMBER", "1"),
             ("DISCTOTAL", "2"), ("COMPOSER", TEXT["composer"]), ("CONDUCTOR", TEXT["conductor"]),
             ("LYRICS", TEXT["lyrics"]), ("BPM", TEXT["bpm"]),
             ("MUSICBRAINZ_ALBUMID", TEXT["mb_albumid"]), ("MUSICBRAINZ_TRACKID", TEXT["mb_trackid"]),
             ("MOOD", TEXT["mood"])]
    for key in ("track_gain", "track_peak", "album_gain", "album_peak"):
        pairs.append(("REPLAYGAIN_" + key.upper(), TEXT["rg_" + key]))
    for ptype, mime, desc, data in PICTURES:
        picture = flac.Picture()
        picture.type, picture.mime, picture.desc, picture.data = ptype, mime, desc, data
        pairs.append(("METADATA_BLOCK_PICTURE", base64.b64encode(picture.write()).decode("ascii")))
    f.tags.extend(pairs)
    f.save()


def make_asf(path):
    f = asf.ASF(path)
    t = f.tags
    u = asf.ASFUnicodeAttribute
    t["Title"], t["Author"], t["WM/AlbumTitle"] = [u(TEXT["title"])], [u(TEXT["artist"])], [u(TEXT["album"])]
    t["WM/TrackNumber"] = [asf.ASFDWordAttribute(3)]
    t["WM/Year"], t["WM/Genre"] = [u("2001-05-06")], [u(TEXT["genre"])]
    t["Description"], t["WM/AlbumArtist"] = [u(TEXT["comment"])], [u(TEXT["albumartist"])]
    t["WM/PartOfSet"], t["WM/Composer"] = [u("1/2")], [u(TEXT["composer"])]
    t["WM/Conductor"], t["WM/Lyrics"] = [u(TEXT["conductor"])], [u(TEXT["lyrics"])]
    t["WM/BeatsPerMinute"] = [u(TEXT["bpm"])]
    for key in ("track_gain", "track_peak", "album_gain", "album_peak"):
        t["replaygain_" + key] = [u(TEXT["rg_" + key])]
    t["MusicBrainz/Album Id"], t["MusicBrainz/Track Id"] = [u(TEXT["mb_albumid"])], [u(TEXT["mb_trackid"])]
    t["MOOD"] = [u(TEXT["mood"])]
    t["WM/Picture"] = [asf.ASFByteArrayAttribute(
        bytes([ptype]) + len(data).to_bytes(4, "little") + (mime + "\0").encode("utf-16-le") +
        (desc + "\0").encode("utf-16-le") + data) for ptype, mime, desc, data in PICTURES]
    f.save()


def sha1(data):
    return hashlib.sha1(data).hexdigest()


def split_number(out, text, number, total):
    n, _, t = str(text).partition("/")
    if n:
        out[number] = n
    if t:
        out[total] = t


def dump_id3v2(path):
    t = id3.ID3(path)  # 2.3 dates come back as one TDRC
    fields = {}
    for name, key in (("title", "TIT2"), ("artist", "TPE1"), ("album", "TALB"), ("genre", "TCON"),
                      ("albumartist", "TPE2"), ("composer", "TCOM"), ("conductor", "TPE3"), ("bpm", "TBPM"),
                      ("date", "TDRC"), ("rg_track_gain", "TXXX:REPLAYGAIN_TRACK_GAIN"),
                      ("rg_track_peak", "TXXX:REPLAYGAIN_TRACK_PEAK"),
                      ("rg_album_gain", "TXXX:REPLAYGAIN_ALBUM_GAIN"),
                      ("rg_album_peak", "TXXX:REPLAYGAIN_ALBUM_PEAK"),
                      ("mb_albumid", "TXXX:MusicBrainz Album Id"), ("mood", "TXXX:MOOD")):
        if key in t:
            fields[name] = "; ".join(str(v) for v in t[key].text)
    if "TRCK" in t:
        split_number(fields, t["TRCK"].text[0], "track", "tracktotal")
    if "TPOS" in t:
        split_number(fields, t["TPOS"].text[0], "disc", "disctotal")
    for frame in t.getall("COMM")[:1]:
        fields["comment"] = frame.text[0]
    for frame in t.getall("USLT")[:1]:
        fields["lyrics"] = frame.text
    ufid = t.get("UFID:http://musicbrainz.org")
    if ufid:
        fields["mb_trackid"] = ufid.data.decode()
    pictures = [[p.type, p.mime, p.desc, sha1(p.data)] for p in t.getall("APIC")]
    return fields, pictures


def dump_apev2(path):
    t = apev2.APEv2(path)
    fields, pictures = {}, []
    for name, key in (("title", "Title"), ("artist", "Artist"), ("album", "Album"), ("genre", "Genre"),
                      ("comment", "Comment"), ("date", "Year"), ("albumartist", "Album Artist"),
                      ("composer", "Composer"), ("conductor", "Conductor"), ("lyrics", "Lyrics"),
                      ("bpm", "BPM"), ("rg_track_gain", "REPLAYGAIN_TRACK_GAIN"),
                      ("rg_track_peak", "REPLAYGAIN_TRACK_PEAK"), ("rg_album_gain", "REPLAYGAIN_ALBUM_GAIN"),
                      ("rg_album_peak", "REPLAYGAIN_ALBUM_PEAK"), ("mb_albumid", "MUSICBRAINZ_ALBUMID"),
                      ("mb_trackid", "MUSICBRAINZ_TRACKID"), ("mood", "MOOD")):
        if key in t:
            fields[name] = "; ".join(t[key])
    if "Track" in t:
        split_number(fields, str(t["Track"]), "track", "tracktotal")
    if "Disc" in t:
        split_number(fields, str(t["Disc"]), "disc", "disctotal")
    types = ["Other", "Icon", "Other Icon", "Front", "Back"]
    for ptype, name in enumerate(types):
        key = "Cover Art (%s)" % name
        if key in t and t[key].kind == apev2.BINARY:
            desc, _, data = t[key].value.partition(b"\0")
            mime = "image/png" if data.startswith(b"\x89PNG") else "image/jpeg"  # APEv2 keeps no MIME type
            pictures.append([ptype, mime, desc.decode(), sha1(data)])
    return fields, pictures


def dump_ogg(path):
    t = oggvorbis.OggVorbis(path).tags
    fields = {}
    for name, key in (("title", "title"), ("artist", "artist"), ("album", "album"), ("track", "tracknumber"),
                      ("tracktotal", "tracktotal"), ("date", "date"), ("genre", "genre"), ("comment", "comment"),
                      ("albumartist", "albumartist"), ("disc", "discnumber"), ("disctotal", "disctotal"),
                      ("composer", "composer"), ("conductor", "conductor"), ("lyrics", "lyrics"), ("bpm", "bpm"),
                      ("rg_track_gain", "replaygain_track_gain"), ("rg_track_peak", "replaygain_track_peak"),
                      ("rg_album_gain", "replaygain_album_gain"), ("rg_album_peak", "replaygain_album_peak"),
                      ("mb_albumid", "musicbrainz_albumid"), ("mb_trackid", "musicbrainz_trackid"),
                      ("mood", "mood")):
        if key in t:
            fields[name] = "; ".join(t[key])
    pictures = []
    for value in t.get("metadata_block_picture", []):
        p = flac.Picture(base64.b64decode(value))
        pictures.append([p.type, p.mime, p.desc, sha1(p.data)])
    return fields, pictures


def dump_asf(path):
    t = asf.ASF(path).tags
    fields = {}
    for name, key in (("title", "Title"), ("artist", "Author"), ("album", "WM/AlbumTitle"), ("date", "WM/Year"),
                      ("genre", "WM/Genre"), ("comment", "Description"), ("albumartist", "WM/AlbumArtist"),
                      ("composer", "WM/Composer"), ("conductor", "WM/Conductor"), ("lyrics", "WM/Lyrics"),
                      ("bpm", "WM/BeatsPerMinute"), ("rg_track_gain", "replaygain_track_gain"),
                      ("rg_track_peak", "replaygain_track_peak"), ("rg_album_gain", "replaygain_album_gain"),
                      ("rg_album_peak", "replaygain_album_peak"), ("mb_albumid", "MusicBrainz/Album Id"),
                      ("mb_trackid", "MusicBrainz/Track Id"), ("mood", "MOOD")):
        if key in t:
            fields[name] = "; ".join(str(v.value) for v in t[key])
    if "WM/TrackNumber" in t:
        split_number(fields, t["WM/TrackNumber"][0].value, "track", "tracktotal")
    if "WM/PartOfSet" in t:
        split_number(fields, t["WM/PartOfSet"][0].value, "disc", "disctotal")
    pictures = []
    for attr in t.get("WM/Picture", []):
        v = attr.value
        size = int.from_bytes(v[1:5], "little")
        strings, at = [], 5
        for _ in range(2):
            end = at
            while v[end:end + 2] != b"\0\0":
                end += 2
            strings.append(v[at:end].decode("utf-16-le"))
            at = end + 2
        pictures.append([v[0], strings[0], strings[1], sha1(v[at:at + size])])
    return fields, pictures


def same(args):
    (kind1, path1, kind2, path2), ignored = args[:4], set(args[4:])
    fields1, pictures1 = globals()["dump_" + kind1](path1)
    fields2, pictures2 = globals()["dump_" + kind2](path2)
    differences = []
    for key in sorted((set(fields1) | set(fields2)) - ignored):
        if fields1.get(key) != fields2.get(key):
            differences.append("%s: %r != %r" % (key, fields1.get(key), fields2.get(key)))
    if "pictures" not in ignored and pictures1 != pictures2:
        differences.append("pictures: %r != %r" % (pictures1, pictures2))
    print("\n".join(differences))
    sys.exit(1 if differences else 0)


def main():
    if sys.argv[1] == "same":
        same(sys.argv[2:])
    command, kind, path = sys.argv[1:4]
    if command == "make":
        globals()["make_" + kind](path)
        return
    fields, pictures = globals()["dump_" + kind](path)
    print(json.dumps({"fields": fields, "pictures": pictures}, ensure_ascii=True, sort_keys=True))


if __name__ == "__main__":
    main()
