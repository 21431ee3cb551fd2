"""CHIRP's own CSV reader and writer, for the CSV tests.

  chirp_csv.py load FILE   prints each channel CHIRP reads from FILE, one
                           line each, then the reader's errors
  chirp_csv.py save FILE   writes a small channel list with CHIRP's writer

The packaged reader opens files in a mode Python 3.11 no longer has, so the
file is opened here and handed to the reader's _load.
"""

import sys

from chirp import chirp_common
from chirp.drivers import generic_csv


def load(path):
    radio = generic_csv.CSVRadio(None)
    radio._blank()
    with open(path, newline="") as f:
        radio._load(f)
    for mem in radio.memories:
        if mem.empty:
            continue
        print("|".join([
            str(mem.number), mem.name, str(mem.freq), mem.tmode,
            "%.1f" % mem.rtone, "%.1f" % mem.ctone, "%03d" % mem.dtcs,
            mem.dtcs_polarity, mem.mode, "%.2f" % mem.tuning_step, mem.skip,
            mem.comment]))
    for error in radio.errors:
        print("error: " + error)


def save(path):
    radio = generic_csv.CSVRadio(None)
    radio._blank()
    channels = [
        (0, "CALL", 146520000, "", 88.5, 0, "FM", ""),
        (1, "K2XYZ RPT", 147330000, "TSQL", 146.2, 0, "FM", ""),
        (2, "UHF DCS", 442100000, "DTCS", 88.5, 23, "NFM", ""),
        (3, "TOWER", 121500000, "", 88.5, 0, "AM", "S"),
    ]
    for number, name, freq, tmode, tone, dtcs, mode, skip in channels:
        mem = chirp_common.Memory()
        mem.number = number
        mem.name = name
        mem.freq = freq
        mem.tmode = tmode
        mem.rtone = mem.ctone = tone
        if dtcs:
            mem.dtcs = dtcs
        mem.mode = mode
        mem.skip = skip
        radio.set_memory(mem)
    radio.save(path)


if __name__ == "__main__":
    {"load": load, "save": save}[sys.argv[1]](sys.argv[2])
