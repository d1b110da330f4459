#!/usr/bin/python3
"""Prepares the OpenMolcas example: water, cc-pVDZ, C2v, CASSCF(4,4).

OpenMolcas 22.10 (Debian package openmolcas, command pymolcas) runs GATEWAY,
SEWARD, SCF, RASSCF and MOTRA on water and writes OneInt, TraOne, RunFile and
the orbital file RasOrb.  A second RASSCF step on those orbitals only dumps
the active-space integrals (FCIDUMP, keyword DMPO); a CAS-CI of the same
space is solved here on explicit determinants with the Slater-Condon rules
and written as the CI program's files.  Its lowest root is the RASSCF state,
whose moments OpenMolcas prints; they go to reference.txt.

Pure Python 3 and the CI-file writers of ../prepare/ci_files.py.  Writes into the case folder (default:
case/ beside this script):
  input                     namelist groups for standard input (MOLCAS=22)
  vrt, Info                 the CI run description and orbital description
  deta, detb                determinant lists, packed layout
  daveca, davecb            CI vectors of the two lowest singlet A1 roots
  RasOrb                    OpenMolcas's orbital file (#INPORB 2.2)
  OneInt.gz, TraOne.gz,     OpenMolcas's binary files, compressed (OneInt is
  RunFile.gz                1.4 MB, mostly its empty table of contents)
  reference.txt             energies and moments printed by OpenMolcas
"""
import gzip
import itertools
import math
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)),
                                '..', 'prepare'))
from ci_files import (apply_ops, excitation, int_cards, namelist,  # noqa: E402
                      packed_list, record, slot_parity, spin_squared)

HERE = os.path.dirname(os.path.abspath(__file__))
CASE = os.path.abspath(sys.argv[1] if len(sys.argv) > 1
                       else os.path.join(HERE, 'case'))

# ---------------------------------------------------------------- the choices
# Irreps in OpenMolcas's order a1 b1 a2 b2, numbered 1..4 in every file; the
# molecule lies in the yz plane, so x is b1, y is b2 and z is a1.
NSYM = 4
FROZEN = [1, 0, 0, 0]       # MOTRA Frozen: 1a1, outside the CI
DELETED = [0, 0, 0, 1]      # MOTRA Deleted: the highest b2
INACTIVE = [2, 0, 0, 1]     # RASSCF Inactive (the frozen 1a1 included)
ACTIVE = [2, 1, 0, 1]       # RASSCF Ras2
NELAC = 4
IRREP_OF_XYZ = (2, 4, 1)
NROOTS = 2                  # the two lowest singlet A1 roots of the CAS-CI

SPACE = """  Symmetry = 1
  Spin = 1
  nActEl = %d 0 0
  Inactive = %s
  Ras2     = %s
""" % (NELAC, ' '.join(map(str, INACTIVE)), ' '.join(map(str, ACTIVE)))

MOLCAS_INPUT = """&GATEWAY
  Title = water C2v cc-pVDZ
  Coord
  3
  water, Angstrom
  O   0.000000   0.000000   0.417300
  H   0.000000   0.757200  -0.169200
  H   0.000000  -0.757200  -0.169200
  Basis = cc-pVDZ
  Group = Full
&SEWARD
&SCF
&RASSCF
  Title = water CAS(4,4)
%s&MOTRA
  Frozen  = %s
  Deleted = %s
  JobIph
&RASSCF
  LumOrb
  FileOrb = $Project.RasOrb
%s  DMPO
""" % (SPACE, ' '.join(map(str, FROZEN)), ' '.join(map(str, DELETED)), SPACE)


def mult(a, b):
    """Product of two irreps (1-based): the exclusive or of the indices, in
    OpenMolcas's numbering as in every D2h subgroup's."""
    return ((a - 1) ^ (b - 1)) + 1


# ------------------------------------------------------------------ OpenMolcas
def run_openmolcas(work):
    with open(os.path.join(work, 'water.input'), 'w') as f:
        f.write(MOLCAS_INPUT)
    env = dict(os.environ, MOLCAS_PROJECT='water',
               MOLCAS_WORKDIR=os.path.join(work, 'scratch'),
               MOLCAS_KEEP_WORKDIR='YES', MOLCAS_MEM='1000',
               MOLCAS_PRINT='3')
    os.makedirs(env['MOLCAS_WORKDIR'], exist_ok=True)
    subprocess.run(['pymolcas', '-f', 'water.input', '-b', '1'], cwd=work,
                   env=env, check=True, stdout=subprocess.DEVNULL)
    with open(os.path.join(work, 'water.log')) as f:
        log = f.read()
    assert log.count('rc=_RC_ALL_IS_WELL_') == 6, 'a module failed'
    return log, os.path.join(env['MOLCAS_WORKDIR'], 'water', 'water')


def printed_moments(log):
    """The first RASSCF's energy and the moments it prints for root 1: the
    first, second and traceless second moments as (electronic, nuclear,
    total) per component, and the origin of the second moments."""
    energy = float(re.search(r'RASSCF root number  1 Total energy:\s+(\S+)',
                             log).group(1))
    part = log[log.index('Expectation values of various properties for '
                         'root number:  1'):]
    values = {}
    for title, names in (('1-st cartesian moments', 'x y z'),
                         ('2-nd cartesian moments', 'xx xy xz yy yz zz'),
                         ('Cartesian  2-pole moment', 'xx xy xz yy yz zz')):
        block = part[part.index(title):]
        rows = []
        for label in ('Total electronic', 'Total nuclear', 'Total   '):
            line = block[block.index(' ' + label):].splitlines()[0]
            rows.append([float(v) for v in line.split()[2 if label !=
                                                        'Total   ' else 1:]])
        kind = {'1': 'mu', '2': 'mu', 'C': 'theta'}[title[0]]
        for k, name in enumerate(names.split()):
            values[kind + name] = tuple(r[k] for r in rows)
    origin = re.search(r'2-nd cartesian moments: origin at \(\s*(\S+),\s*(\S+),'
                       r'\s*(\S+)\)', part).groups()
    return energy, values, [float(o) for o in origin]


def read_fcidump(path):
    """Core energy, one-electron (effective, inactive orbitals folded in)
    and two-electron (chemists' notation) integrals of the active orbitals,
    and their irreps."""
    with open(path) as f:
        text = f.read()
    head, body = text.split('&END')
    norb = int(re.search(r'NORB=\s*(\d+)', head).group(1))
    orbsym = [int(x) for x in re.search(r'ORBSYM=([\d,\s]+)', head)
              .group(1).replace(',', ' ').split()]
    h = [[0.0] * norb for _ in range(norb)]
    g = {}
    core = 0.0
    for line in body.split('\n'):
        if not line.strip():
            continue
        v, i, j, k, l = line.split()
        v = float(v)
        i, j, k, l = int(i), int(j), int(k), int(l)
        if i and j and k and l:
            for a, b, c, d in ((i, j, k, l), (j, i, k, l), (i, j, l, k),
                               (j, i, l, k), (k, l, i, j), (l, k, i, j),
                               (k, l, j, i), (l, k, j, i)):
                g[(a - 1, b - 1, c - 1, d - 1)] = v
        elif i and j:
            h[i - 1][j - 1] = h[j - 1][i - 1] = v
        elif not i:
            core = v
    return core, h, g, orbsym[:norb]


# ----------------------------------------------------------------------- CAS-CI


def jacobi(a):
    """Eigenvalues (ascending) and eigenvectors (columns) of a symmetric
    matrix by cyclic Jacobi rotations."""
    n = len(a)
    a = [row[:] for row in a]
    v = [[float(i == j) for j in range(n)] for i in range(n)]
    for _ in range(100):
        off = sum(a[i][j] ** 2 for i in range(n) for j in range(n) if i != j)
        if off < 1e-30:
            break
        for p, q in itertools.combinations(range(n), 2):
            if abs(a[p][q]) < 1e-300:
                continue
            theta = (a[q][q] - a[p][p]) / (2 * a[p][q])
            t = math.copysign(1.0, theta) / (abs(theta) +
                                             math.sqrt(theta * theta + 1))
            c = 1 / math.sqrt(t * t + 1)
            s = t * c
            for k in range(n):
                akp, akq = a[k][p], a[k][q]
                a[k][p], a[k][q] = c * akp - s * akq, s * akp + c * akq
            for k in range(n):
                apk, aqk = a[p][k], a[q][k]
                a[p][k], a[q][k] = c * apk - s * aqk, s * apk + c * aqk
            for k in range(n):
                vkp, vkq = v[k][p], v[k][q]
                v[k][p], v[k][q] = c * vkp - s * vkq, s * vkp + c * vkq
    order = sorted(range(n), key=lambda k: a[k][k])
    return ([a[k][k] for k in order],
            [[v[i][k] for i in range(n)] for k in order])


def cas_ci(core, h, g, irreps):
    """Full CI of the active space, Ms = 0, state symmetry a1.  Alpha
    spin-orbital of active orbital t is t, beta is nact + t."""
    nact = len(irreps)

    def irrep_of(orbitals):
        irrep = 1
        for t in orbitals:
            irrep = mult(irrep, irreps[t % nact])
        return irrep

    strings = list(itertools.combinations(range(nact), NELAC // 2))
    dets = [a + tuple(nact + t for t in b) for a in strings for b in strings
            if irrep_of(a + b) == 1]
    index = {d: k for k, d in enumerate(dets)}

    def h1(p, q):
        return h[p % nact][q % nact] if p // nact == q // nact else 0.0

    def phys(p, q, r, s):   # <pq|rs>
        if p // nact != r // nact or q // nact != s // nact:
            return 0.0
        return g.get((p % nact, r % nact, q % nact, s % nact), 0.0)

    def anti(p, q, r, s):
        return phys(p, q, r, s) - phys(p, q, s, r)

    n = len(dets)
    ham = [[0.0] * n for _ in range(n)]
    for k, det in enumerate(dets):
        ham[k][k] = core + sum(h1(i, i) for i in det) + 0.5 * sum(
            anti(i, j, i, j) for i in det for j in det)
        empty = [a for a in range(2 * nact) if a not in det]
        for i, a in itertools.product(det, empty):
            sign, new = apply_ops([(1, a), (-1, i)], det)
            if new in index:
                ham[index[new]][k] += sign * (h1(a, i) + sum(
                    anti(a, j, i, j) for j in det if j != i))
        for (i, j), (a, b) in itertools.product(
                itertools.combinations(det, 2),
                itertools.combinations(empty, 2)):
            sign, new = apply_ops([(1, a), (1, b), (-1, j), (-1, i)], det)
            if new in index:
                ham[index[new]][k] += sign * anti(a, b, i, j)
    assert max(abs(ham[i][j] - ham[j][i]) for i in range(n)
               for j in range(n)) < 1e-12
    energies, vectors = jacobi(ham)
    singlets = [r for r in range(n)
                if abs(spin_squared(vectors[r], dets, nact)) < 1e-8]
    roots = singlets[:NROOTS]
    return dets, [energies[r] for r in roots], [vectors[r] for r in roots]


# -------------------------------------------------------------------- writers


def vector_file(energies, vectors):
    ndet = len(vectors[0])
    out = record(struct.pack('<ii', ndet, len(vectors)))
    out += record(struct.pack('<%dd' % len(energies), *energies))
    for v in vectors:
        out += record(struct.pack('<%dd' % ndet, *v))
    return out


def fmt(x):
    return '%.14e' % x


# ------------------------------------------------------------------------ main
def main():
    os.makedirs(CASE, exist_ok=True)
    work = tempfile.mkdtemp(prefix='openmolcas_water_')
    log, files = run_openmolcas(work)
    e_rasscf, printed, origin = printed_moments(log)
    core, h, g, orbsym = read_fcidump(files + '.FciDmp')
    assert [orbsym.count(s + 1) for s in range(NSYM)] == ACTIVE

    # The CI orbitals: inactive by symmetry, the active ones in the order of
    # the dumped integrals (within a symmetry that is the orbital file's
    # order), then the virtual ones by symmetry; the frozen and deleted
    # orbitals are not CI orbitals.
    with open(files + '.RasOrb') as f:
        nbas = [int(x) for x in f.read().split('#INFO')[1].splitlines()[3]
                .split()]
    ninac = sum(INACTIVE) - sum(FROZEN)
    nact = sum(ACTIVE)
    virt = [nbas[s] - INACTIVE[s] - ACTIVE[s] - DELETED[s]
            for s in range(NSYM)]
    itsym = ([s + 1 for s in range(NSYM)
              for _ in range(INACTIVE[s] - FROZEN[s])] + orbsym +
             [s + 1 for s in range(NSYM) for _ in range(virt[s])])
    norb = len(itsym)
    nocc = ninac + (NELAC + 1) // 2

    dets, energies, vectors = cas_ci(core, h, g, orbsym)
    assert abs(energies[0] - e_rasscf) < 1e-7, (energies, e_rasscf)

    excitations = [excitation(d, nact, ninac, nocc, norb) for d in dets]
    order = sorted(range(len(dets)),
                   key=lambda k: (len(excitations[k][0]), excitations[k]))
    excitations = [excitations[k] for k in order]
    signs = [slot_parity(hh, p, nocc, norb) for hh, p in excitations]
    ci_vectors = [[v[k] * s for k, s in zip(order, signs)] for v in vectors]

    case = {
        'input': (namelist('ROFIL', []) +
                  namelist('RHO', ['NDEL=%s,' % ','.join(map(str, DELETED)),
                                   'NGEL=%s,' % ','.join(map(str, FROZEN)),
                                   'NUMERO=1,1,',
                                   'ISX=%d,ISY=%d,ISZ=%d,' % IRREP_OF_XYZ]) +
                  namelist('RHC', ['IPROP=0,MOLCAS=22,CALCRO=1,']) +
                  namelist('COST', ['MOLCAS=22,'])),
        'vrt': namelist('VRT', [
            'NOAC=%d,' % nact,
            'NUMAC=%s,' % ','.join(str(ninac + 1 + t) for t in range(nact)),
            'NELAC=%d,IS0=1,MS2=0,' % NELAC,
            'NDET=%d,' % len(dets), "GENER='CAS ',"]),
        'Info': (namelist('COST_AO', ['NSYM=%d,' % NSYM] + int_cards(
                    'ITS', [mult(a, b) for b in range(1, 9)
                            for a in range(1, 9)], 8)) +
                 namelist('COST_MO', ['NORB=%d,NOC=%d,' % (norb, nocc)] +
                          int_cards('ITSYM', itsym, 20) + ['YCL=T,'])),
        'deta': packed_list(excitations, norb),
        'daveca': vector_file(energies, ci_vectors),
    }
    case['detb'], case['davecb'] = case['deta'], case['daveca']
    for name, data in case.items():
        with open(os.path.join(CASE, name), 'w' if isinstance(data, str)
                  else 'wb') as f:
            f.write(data)
    shutil.copyfile(files + '.RasOrb', os.path.join(CASE, 'RasOrb'))
    for name in ('OneInt', 'TraOne', 'RunFile'):
        with open(files + '.' + name, 'rb') as f, \
                gzip.GzipFile(os.path.join(CASE, name + '.gz'), 'wb',
                              mtime=0) as z:
            z.write(f.read())

    lines = [
        '# Water, cc-pVDZ, C2v, CASSCF(4,4) with OpenMolcas 22.10: the',
        '# energy and the moments RASSCF prints for its root 1 (8 decimals,',
        '# atomic units; electronic, nuclear, total), second moments about',
        '# the centre of mass (0 0 %.8f).  ci: the CAS-CI of the same space'
        % origin[2],
        '# on the dumped integrals (11 digits), its two lowest singlet roots.',
        'rasscf energy %s' % fmt(e_rasscf),
        'ci energies %s %s' % (fmt(energies[0]), fmt(energies[1])),
    ]
    for key, val in printed.items():
        lines.append('rasscf %s %s' % (key, ' '.join('%.8f' % v
                                                      for v in val)))
    with open(os.path.join(CASE, 'reference.txt'), 'w') as f:
        f.write('\n'.join(lines) + '\n')
    print('determinants %d, CI energies %s, RASSCF %.8f' %
          (len(dets), energies, e_rasscf))
    print(open(os.path.join(CASE, 'reference.txt')).read())
    print('OpenMolcas output:', os.path.join(work, 'water.log'))


if __name__ == '__main__':
    main()
