"""The CI program's files as the example scripts write them: sequential
unformatted records, determinant lists in the packed layout, namelist
groups, and the determinant algebra (creators and annihilators on ordered
determinants) that the small CIs of the scripts are built on.  Pure Python.
"""
import itertools
import struct

PACKED_BLOCK = 100       # determinants per record of the packed lists


def apply_ops(ops, det):
    """Applies creators (+1, so) and annihilators (-1, so), rightmost first,
    to an ordered determinant (its spin-orbitals ascending).  Returns
    (sign, determinant), or (0, None) when the result vanishes."""
    occ = list(det)
    sign = 1
    for kind, so in reversed(ops):
        if (so in occ) == (kind > 0):
            return 0, None
        if kind < 0:
            pos = occ.index(so)
            occ.pop(pos)
        else:
            pos = sum(1 for o in occ if o < so)
            occ.insert(pos, so)
        sign = -sign if pos % 2 else sign
    return sign, tuple(occ)


def spin_squared(vec, dets, nact):
    """<S^2> of an Ms = 0 vector: there S^2 = S- S+, so it is |S+ psi|^2."""
    plus = {}
    for c, det in zip(vec, dets):
        for t in range(nact):
            sign, new = apply_ops([(1, t), (-1, nact + t)], det)
            if sign:
                plus[new] = plus.get(new, 0.0) + sign * c
    return sum(v * v for v in plus.values())


def record(payload):
    """A sequential unformatted record: its byte count before and after."""
    n = struct.pack('<i', len(payload))
    return n + payload + n


def excitation(det, nact, ninac, nocc, norb):
    """A determinant as the CI program lists it: holes (reference
    spin-orbitals it empties) and particles (those it fills), each alpha
    first then beta, ascending; alpha orbital k is k, beta is norb + k."""
    alpha = set(range(1, ninac + 1)) | {ninac + 1 + t for t in det if t < nact}
    beta = set(range(1, ninac + 1)) | {ninac + 1 + t - nact
                                       for t in det if t >= nact}
    ref = set(range(1, nocc + 1))
    holes = sorted(ref - alpha) + [norb + k for k in sorted(ref - beta)]
    parts = sorted(alpha - ref) + [norb + k for k in sorted(beta - ref)]
    return holes, parts


def slot_parity(holes, parts, nocc, norb):
    """Sign between the CI program's determinant (reference alpha 1..nocc,
    beta 1..nocc, each hole replaced in place by its particle) and the
    ordered determinant (spin-orbitals ascending)."""
    slots = list(range(1, nocc + 1)) + list(range(norb + 1, norb + nocc + 1))
    for p, q in zip(holes, parts):
        slots[p - 1 if p <= norb else nocc + p - norb - 1] = q
    inversions = sum(1 for a, b in itertools.combinations(slots, 2) if a > b)
    return -1 if inversions % 2 else 1


def packed_list(excitations, norb):
    """Block records of the packed layout: orbital stream (alpha numbers as
    they are, beta ones less norb, one byte each, 0 standing for 256), one
    descriptor byte per determinant n(n+1)/2 + (alpha holes) + 1, and an
    empty high-bit stream (all orbitals below 256)."""
    assert norb < 256
    out = b''
    for first in range(0, len(excitations), PACKED_BLOCK):
        stream, desc = bytearray(), bytearray()
        for holes, parts in excitations[first:first + PACKED_BLOCK]:
            n = len(holes)
            desc.append(n * (n + 1) // 2 + sum(1 for h in holes if h <= norb)
                        + 1)
            stream += bytes((o if o <= norb else o - norb) % 256
                            for o in holes + parts)
        out += record(struct.pack('<ii', len(stream), len(desc)) +
                      bytes(stream) + bytes(desc) + struct.pack('<i', 0))
    return out


def namelist(name, cards):
    """A namelist group, one card per entry, the keys in the order in which
    the program decodes them (as the CI program writes its own groups)."""
    return ' &%s\n%s &END\n' % (name, ''.join(' %s\n' % c for c in cards))


def int_cards(key, values, per_card=16):
    cards = []
    for k in range(0, len(values), per_card):
        text = ','.join(str(v) for v in values[k:k + per_card]) + ','
        cards.append((key + '=' if k == 0 else '') + text)
    return cards
