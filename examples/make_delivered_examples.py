#!/usr/bin/env python3
"""Writes the soundings of examples/survey.txt in the three forms surveys deliver:

    examples/delivered/survey_export.xyz   an XYZ model export
    examples/delivered/survey.dat, .dfn    ASEG-GDF2 records and their definition
    examples/delivered/survey_table.csv    a headed CSV table

The layer values are those of survey.txt, written as they are (the ASEG-GDF2
file in E15.6, which holds their four digits exactly), so that every form
reads back to the same values bit for bit. The local coordinates are moved
into GDA94 / MGA zone 54 (EPSG 28354). Each sounding gets a ground elevation
and a depth of investigation that vary smoothly over the area; the deepest
layer's value is replaced by the dummy where it lies below the depth of
investigation, and a few values, elevations and depths are missing. The
geometry is written on every record, as the exports do: layer tops and
bottoms (the last bottom a real one, 12 m below its top), or thicknesses.

Nothing is random, so the files are the same on every run:
    python3 examples/make_delivered_examples.py
"""

import math
import os

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(HERE, "delivered")
EAST, NORTH = 300000.0, 6200000.0
DUMMY = "-9999.99"
LAST_THICKNESS = 12.0


def read_survey():
    with open(os.path.join(HERE, "survey.txt")) as f:
        lines = f.read().split("\n")
    nlayer = int(lines[0].split()[-1])
    thicknesses = lines[1].split()[-(nlayer - 1):]
    soundings = []
    for line in lines[4:]:
        fields = line.split()
        if fields:
            soundings.append((fields[0], fields[1], fields[2:2 + nlayer]))
    return nlayer, thicknesses, soundings


def main():
    nlayer, thicknesses, soundings = read_survey()
    tops = [0.0]
    for t in thicknesses:
        tops.append(tops[-1] + float(t))
    bottoms = tops[1:] + [tops[-1] + LAST_THICKNESS]
    top_text = [f"{t:.1f}" for t in tops]
    bottom_text = [f"{b:.1f}" for b in bottoms]

    records = []
    line_no, previous_x = 1000, None
    for i, (xs, ys, values) in enumerate(soundings):
        x, y = float(xs), float(ys)
        # A new flight line where x jumps (the lines run north, 225 m apart).
        if previous_x is not None and abs(x - previous_x) > 100.0:
            line_no += 10
        previous_x = x
        elevation = f"{85.0 + 12.0 * math.sin(x / 700.0) + 6.0 * math.cos(y / 500.0):.1f}"
        doi = 52.0 + 14.0 * math.sin(x / 900.0 + y / 1300.0)
        values = list(values)
        if doi < tops[-1]:
            values[-1] = None  # below the depth of investigation
        if i % 37 == 5:
            values[i % nlayer] = None
        records.append({
            "line": str(line_no),
            "date": f"2021-09-{17 + line_no // 10 % 3:02d}",
            "x": f"{x + EAST:.1f}",
            "y": f"{y + NORTH:.1f}",
            "elevation": None if i % 53 == 7 else elevation,
            "doi": None if i % 61 == 11 else f"{doi:.1f}",
            "values": values,
        })
    os.makedirs(OUT, exist_ok=True)
    write_xyz(records, nlayer, top_text, bottom_text)
    write_gdf2(records, nlayer, thicknesses)
    write_csv(records, nlayer, top_text, bottom_text)


def write_xyz(records, nlayer, top_text, bottom_text):
    k = range(1, nlayer + 1)
    names = (["LINE_NO", "UTMX", "UTMY", "ELEVATION", "RESDATA", "DATE"] +
             [f"RHO_I_{n}" for n in k] + [f"RHO_I_STD{n}" for n in k] +
             [f"DEP_TOP_{n}" for n in k] + [f"DEP_BOT_{n}" for n in k] +
             ["DOI_CONSERVATIVE", "DOI_STANDARD"])
    with open(os.path.join(OUT, "survey_export.xyz"), "w") as f:
        f.write("/INFO\n/Layered model export of examples/survey.txt, written by "
                "examples/make_delivered_examples.py\n")
        f.write(f"/DUMMY\n/{DUMMY}\n")
        f.write("/COORDINATE SYSTEM\n/GDA94 / MGA zone 54 (epsg:28354)\n")
        f.write(f"/NUMBER OF LAYERS\n/{nlayer}\n")
        f.write("/ " + "=" * 40 + "\n")
        f.write("/ " + "  ".join(names) + "\n")
        f.write("/ " + "=" * 40 + "\n")
        for n, r in enumerate(records):
            # A missing value as the dummy or, now and then, '*'.
            def missing(v, star=(n % 2 == 0)):
                return v if v is not None else ("*" if star else DUMMY)
            doi = r["doi"]
            fields = ([r["line"], r["x"], r["y"], missing(r["elevation"]), "0.84", r["date"]] +
                      [missing(v) for v in r["values"]] + ["1.05"] * nlayer + top_text +
                      bottom_text + [missing(doi), missing(None if doi is None else
                                                            f"{1.4 * float(doi):.1f}")])
            f.write("  " + "  ".join(fields) + "\n")


def write_gdf2(records, nlayer, thicknesses):
    dfn = [
        "DEFN   ST=RECD,RT=COMM;RT:A4;COMMENTS:A76",
        "DEFN 1 ST=RECD,RT=PROJ; RT: A4",
        "DEFN 2 ST=RECD,RT=PROJ; COORDSYS: A40: NAME=projection name, POSC projection name",
        "DEFN 3 ST=RECD,RT=PROJ; DATUM: A40: NAME=datum name",
        "DEFN 4 ST=RECD,RT=PROJ; END DEFN",
        "DEFN 1 ST=RECD,RT=; Line : I10 : NULL=-99999999, LONGNAME=Line Number",
        "DEFN 2 ST=RECD,RT=; DATE : A11 : LONGNAME=Date flown",
        "DEFN 3 ST=RECD,RT=; Easting : F12.1 : NULL=-99999.9, UNITS=m, extra1=PROJECTION, "
        "extra2=GDA94/MGA54",
        "DEFN 4 ST=RECD,RT=; Northing : F12.1 : NULL=-99999.9, UNITS=m, extra1=PROJECTION, "
        "extra2=GDA94/MGA54",
        f"DEFN 5 ST=RECD,RT=; elevation : F10.1 : NULL={DUMMY}, UNITS=m, LONGNAME=Ground "
        "elevation",
        f"DEFN 6 ST=RECD,RT=; resistivity : {nlayer}E15.6 : NULL={DUMMY}, UNITS=ohm.m, "
        "LONGNAME=Layer resistivity, layer 1 first",
        f"DEFN 7 ST=RECD,RT=; thickness : {nlayer}F9.2 : UNITS=m",
        f"DEFN 8 ST=RECD,RT=; depth_of_investigation : F9.1 : NULL={DUMMY}, UNITS=m",
        "DEFN 9 ST=RECD,RT=; END DEFN",
    ]
    thickness = "".join(f"{float(t):9.2f}" for t in thicknesses + [LAST_THICKNESS])
    null = float(DUMMY)
    with open(os.path.join(OUT, "survey.dfn"), "w") as f:
        f.write("\n".join(dfn) + "\n")
    with open(os.path.join(OUT, "survey.dat"), "w") as f:
        f.write("COMM Layered model of examples/survey.txt, written by "
                "examples/make_delivered_examples.py\n")
        f.write("PROJ" + f"{'GDA94 / MGA zone 54':40s}" + f"{'GDA94':40s}" + "\n")
        for r in records:
            # A missing value as the null itself, which the field's format
            # would round.
            elevation = r["elevation"] if r["elevation"] is not None else DUMMY
            doi = r["doi"] if r["doi"] is not None else DUMMY
            f.write(f"{int(r['line']):10d}{r['date']:>11s}{float(r['x']):12.1f}"
                    f"{float(r['y']):12.1f}{elevation:>10s}" +
                    "".join(f"{float(v) if v is not None else null:15.6E}"
                            for v in r["values"]) +
                    thickness + f"{doi:>9s}\n")


def write_csv(records, nlayer, top_text, bottom_text):
    k = range(nlayer)
    names = (["LINE_NO", "E_MGA54", "N_MGA54", "ELEVATION", "DOI_CONSERVATIVE"] +
             [f"RHO_I[{n}]" for n in k] + [f"DEP_TOP[{n}]" for n in k] +
             [f"DEP_BOT[{n}]" for n in k])
    with open(os.path.join(OUT, "survey_table.csv"), "w") as f:
        f.write(",".join(names) + "\n")
        for n, r in enumerate(records):
            # A missing value as an empty field or, now and then, NaN.
            def missing(v, nan=(n % 3 == 0)):
                return v if v is not None else ("NaN" if nan else "")
            fields = ([r["line"], r["x"], r["y"], missing(r["elevation"]), missing(r["doi"])] +
                      [missing(v) for v in r["values"]] + top_text + bottom_text)
            f.write(",".join(fields) + "\n")


if __name__ == "__main__":
    main()
