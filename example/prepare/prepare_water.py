#!/usr/bin/python3
"""Prepares the bundled example: water, cc-pVDZ, CAS(6,6) CI, two A1 roots.

The orbitals and the property integrals come from a real RHF calculation with
psi4 (Debian package psi4 1.3.2, which installs its module for Debian's own
/usr/bin/python3).  The CI is solved here on explicit determinants with the
Slater-Condon rules and checked against psi4's detci for the same space; the
reference moments come from psi4's own one-particle (transition) densities
contracted with psi4's integrals.

Writes into the case folder (default: ../case beside this script):
  input              namelist groups for standard input
  vrt, Info          the CI program's run description and orbital description
  deta, detb         determinant lists, packed layout
  daveca, davecb     CI vectors of both roots with their energies
  INPORB             the SCF orbitals, per symmetry, in the SO basis
  OneInt, TraOne     MOLCAS (version 5) one-electron integral files
  reference.txt      the energies and moments psi4 gives
"""
import itertools
import os
import struct
import sys
import tempfile

sys.path.insert(0, '/usr/lib/x86_64-linux-gnu')   # Debian's psi4 module
import numpy as np  # noqa: E402
import psi4  # noqa: E402

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from ci_files import (apply_ops, excitation, int_cards, namelist,  # noqa: E402
                      packed_list, record, slot_parity, spin_squared)

HERE = os.path.dirname(os.path.abspath(__file__))
CASE = os.path.abspath(sys.argv[1] if len(sys.argv) > 1
                       else os.path.join(HERE, '..', 'case'))

# ---------------------------------------------------------------- the choices
GEOMETRY = """
0 1
O
H 1 0.9572
H 1 0.9572 2 104.52
symmetry c2v
"""
BASIS = 'cc-pvdz'
# Orbital spaces per irrep in psi4's C2v order A1, A2, B1, B2, numbered 1..4
# everywhere in the case (CI orbital symmetries, orbital file blocks, basis
# counts).  1a1 is frozen and 2a1 inactive; the six active orbitals are the
# three highest occupied and the three lowest virtual ones (1b2 3a1 1b1 |
# 4a1 2b2 3b2); the highest a1 virtual is deleted.
NSYM = 4
FROZEN = [1, 0, 0, 0]
INACTIVE = [1, 0, 0, 0]
ACTIVE = [2, 0, 1, 3]
DELETED = [1, 0, 0, 0]
NELAC = 6
STATE_IRREP = 1          # A1
NROOTS = 2               # the two lowest singlets of that symmetry
IRREP_OF_XYZ = (3, 4, 1)  # psi4 puts water in the yz plane: x B1, y B2, z A1
# 2/3 of the oscillator strength and the effective theta, in double precision.
TWO_THIRDS = 2.0 / 3.0
HEADER_BYTES = 40960     # OneInt's header; the integral blocks follow it


def mult(a, b):
    """Product of two irreps (1-based): psi4 numbers the irreps of D2h and
    its subgroups so that the product is the exclusive or of the indices."""
    return ((a - 1) ^ (b - 1)) + 1


def blocks(matrix):
    return [np.array(b) for b in matrix.nph]


# ------------------------------------------------------------------- psi4 SCF
def run_scf():
    psi4.core.set_output_file('psi4.out', False)
    psi4.set_memory('1 GB')
    psi4.set_num_threads(1)
    mol = psi4.geometry(GEOMETRY)
    psi4.set_options({'basis': BASIS, 'scf_type': 'pk', 'reference': 'rhf',
                      'e_convergence': 1e-12, 'd_convergence': 1e-12})
    _, wfn = psi4.energy('scf', return_wfn=True)
    assert mol.schoenflies_symbol() == 'c2v'
    return mol, wfn


def so_property_integrals(wfn):
    """SO-basis integrals of x, y, z, xx, xy, xz, yy, yz, zz blocked by irrep,
    as (irrep of the operator, blocks); block h has the rows of irrep h and
    the columns of irrep h x (irrep of the operator).

    psi4 includes the electron's charge in its multipole integrals
    (-<mu|x|nu>); MOLCAS stores the integrals of the position operator and
    the property program puts the charge back (the electronic part is minus
    the density contracted with the integrals), so the sign is turned here.
    psi4's quadrupole order xx xy xz yy yz zz is OneInt's."""
    mints = psi4.core.MintsHelper(wfn.basisset())
    ops = list(mints.so_dipole()) + list(mints.so_quadrupole())
    return ([(m.symmetry() + 1, [-b for b in blocks(m)]) for m in ops],
            blocks(mints.so_overlap()))


def nuclear_moments(mol):
    """sum Z R_a and sum Z R_a R_b about the origin of psi4's frame (bohr),
    in the order x y z xx xy xz yy yz zz."""
    geom = np.array(mol.geometry().np)
    z = np.array([mol.Z(a) for a in range(mol.natom())])
    pairs = [(0, 0), (0, 1), (0, 2), (1, 1), (1, 2), (2, 2)]
    return ([float(z @ geom[:, a]) for a in range(3)] +
            [float(np.sum(z * geom[:, a] * geom[:, b])) for a, b in pairs])


def to_mo(wfn, so_ops):
    ca = blocks(wfn.Ca())
    return [(irrep, [ca[h].T @ so[h] @ ca[mult(h + 1, irrep) - 1]
                     for h in range(NSYM)]) for irrep, so in so_ops]


def electronic(density, mo_ops):
    """-sum RO(i,j) P(j,i) for a totally symmetric density (blocked by
    irrep): only operators of symmetry A1 have a diagonal block."""
    return [-sum(float(np.sum(density[h] * mo[h].T)) for h in range(NSYM))
            if irrep == 1 else 0.0 for irrep, mo in mo_ops]


def check_conventions(wfn, mo_ops, nuclear):
    """Our SCF moments must be psi4's own (oeprop): same sign convention,
    same origin, same non-traceless second moment."""
    docc = wfn.doccpi().to_tuple()
    dens = [np.diag([2.0] * docc[h] + [0.0] * (wfn.nmopi()[h] - docc[h]))
            for h in range(NSYM)]
    ours = [e + n for e, n in zip(electronic(dens, mo_ops), nuclear)]
    oe = psi4.core.OEProp(wfn)
    oe.set_title('CHECK')
    oe.add('DIPOLE')
    oe.add('QUADRUPOLE')
    oe.compute()
    debye = psi4.constants.dipmom_au2debye
    for k, name in enumerate(['X', 'Y', 'Z', 'XX', 'XY', 'XZ', 'YY', 'YZ',
                              'ZZ']):
        if k < 3:
            theirs = psi4.core.variable('CHECK DIPOLE ' + name) / debye
        else:
            theirs = (psi4.core.variable('CHECK QUADRUPOLE ' + name) /
                      (debye * psi4.constants.bohr2angstroms))
        assert abs(ours[k] - theirs) < 1e-9, (name, ours[k], theirs)


# ------------------------------------------------------------ CI orbital layout
def ci_orbitals(wfn):
    """The CI program's numbering: inactive orbitals by symmetry, then the
    active orbitals (by orbital energy, so that the reference determinant
    1..nocc is the RHF determinant), then the virtual orbitals by symmetry.
    Within each symmetry the CI numbers then follow the orbital file's order,
    as the property program's symmetry sort requires.  Each entry is
    (irrep 0-based, index among that irrep's MOs)."""
    eps = blocks(wfn.epsilon_a())
    inactive, active, virtual = [], [], []
    for h in range(NSYM):
        first = FROZEN[h]
        inactive += [(h, first + i) for i in range(INACTIVE[h])]
        first += INACTIVE[h]
        active += [(h, first + i) for i in range(ACTIVE[h])]
        first += ACTIVE[h]
        virtual += [(h, i) for i in range(first, wfn.nmopi()[h] - DELETED[h])]
    active.sort(key=lambda o: eps[o[0]][o[1]])
    return inactive, active, virtual


# ----------------------------------------------------------------------- CAS-CI
def active_hamiltonian(wfn, core, active):
    """Core energy and the active orbitals' effective one-electron and
    two-electron (chemists' notation) integrals, from psi4's AO integrals."""
    mints = psi4.core.MintsHelper(wfn.basisset())
    u, ca = blocks(wfn.aotoso()), blocks(wfn.Ca())

    def ao_coefficients(orbitals):
        return np.column_stack([u[h] @ ca[h][:, i] for h, i in orbitals])

    hcore = np.array(mints.ao_kinetic()) + np.array(mints.ao_potential())
    eri = np.array(mints.ao_eri())
    cc, ct = ao_coefficients(core), ao_coefficients(active)
    dcore = 2.0 * cc @ cc.T
    fcore = (hcore + np.einsum('pqrs,rs->pq', eri, dcore) -
             0.5 * np.einsum('prqs,rs->pq', eri, dcore))
    e_core = (wfn.molecule().nuclear_repulsion_energy() +
              0.5 * np.sum(dcore * (hcore + fcore)))
    g_act = np.einsum('pqrs,pi,qj,rk,sl->ijkl', eri, ct, ct, ct, ct,
                      optimize=True)
    return e_core, ct.T @ fcore @ ct, g_act


def cas_ci(e_core, h_act, g_act, active_irreps):
    """Full CI in the active space, Ms = 0, state symmetry STATE_IRREP.
    Spin-orbitals: alpha of active orbital t is t, beta is nact + t; a
    determinant is its occupied spin-orbitals in ascending order.  (The
    inactive spin-orbitals, common to all determinants, would only change
    every coefficient by the same sign.)"""
    nact = len(active_irreps)
    nso = 2 * nact

    def irrep_of(orbitals):
        irrep = 1
        for t in orbitals:
            irrep = mult(irrep, active_irreps[t % nact])
        return irrep

    strings = list(itertools.combinations(range(nact), NELAC // 2))
    dets = [a + tuple(nact + t for t in b) for a in strings for b in strings
            if irrep_of(a + b) == STATE_IRREP]
    index = {d: k for k, d in enumerate(dets)}

    def h1(p, q):
        return h_act[p % nact, q % nact] if p // nact == q // nact else 0.0

    def anti(p, q, r, s):   # <pq||rs>
        def g(p, q, r, s):
            if p // nact != r // nact or q // nact != s // nact:
                return 0.0
            return g_act[p % nact, r % nact, q % nact, s % nact]
        return g(p, q, r, s) - g(p, q, s, r)

    ham = np.zeros((len(dets), len(dets)))
    for k, det in enumerate(dets):
        ham[k, k] = e_core + sum(h1(i, i) for i in det) + 0.5 * sum(
            anti(i, j, i, j) for i in det for j in det)
        empty = [a for a in range(nso) if a not in det]
        for i, a in itertools.product(det, empty):
            sign, new = apply_ops([(1, a), (-1, i)], det)
            if new in index:
                ham[index[new], k] += sign * (h1(a, i) + sum(
                    anti(a, j, i, j) for j in det if j != i))
        for (i, j), (a, b) in itertools.product(
                itertools.combinations(det, 2),
                itertools.combinations(empty, 2)):
            sign, new = apply_ops([(1, a), (1, b), (-1, j), (-1, i)], det)
            if new in index:
                ham[index[new], k] += sign * anti(a, b, i, j)
    assert np.abs(ham - ham.T).max() < 1e-12
    energies, vectors = np.linalg.eigh(ham)
    spins = [spin_squared(vectors[:, r], dets, nact)
             for r in range(len(dets))]
    singlets = [r for r in range(len(dets)) if abs(spins[r]) < 1e-8]
    roots = singlets[:NROOTS]
    return dets, energies[roots], vectors[:, roots], energies, spins


def active_density(vec1, vec2, dets, nact):
    """RO(i,j) = sum over spins of <psi2| a+(j) a(i) |psi1>, active block."""
    index = {d: k for k, d in enumerate(dets)}
    ro = np.zeros((nact, nact))
    for c1, det in zip(vec1, dets):
        for spin, i, j in itertools.product((0, nact), range(nact),
                                            range(nact)):
            sign, new = apply_ops([(1, spin + j), (-1, spin + i)], det)
            if sign and new in index:
                ro[i, j] += sign * vec2[index[new]] * c1
    return ro


# ----------------------------------------------------------------- psi4 detci
def detci(wfn):
    """CAS-CI of the same space with psi4's detci: root energies and the
    spin-summed one-particle (transition) densities over all MOs, by irrep."""
    rest = [wfn.nmopi()[h] - FROZEN[h] - INACTIVE[h] - ACTIVE[h] - DELETED[h]
            for h in range(NSYM)]
    psi4.set_options({'frozen_docc': FROZEN, 'restricted_docc': INACTIVE,
                      'active': ACTIVE, 'restricted_uocc': rest,
                      'frozen_uocc': DELETED, 'fci': True,
                      'num_roots': NROOTS, 'opdm': True, 'tdm': True,
                      'e_convergence': 1e-13, 'r_convergence': 1e-11,
                      'ci_maxiter': 200})
    _, ciwfn = psi4.energy('detci', ref_wfn=wfn, return_wfn=True)
    energies = [psi4.core.variable('CI ROOT %d TOTAL ENERGY' % r)
                for r in range(NROOTS)]
    return energies, {(r, s): blocks(ciwfn.get_opdm(r, s, 'SUM', True))
                      for r in range(NROOTS) for s in range(r, NROOTS)}


def align_with_detci(vectors, dets, active, dens):
    """Chooses the phases of our roots: root 1 with a positive reference
    coefficient, root 2 so that our transition density is psi4's, not its
    negative (the sign of a transition moment follows the roots' phases).
    Checks every density against psi4's on the active block."""
    nact = len(active)
    if vectors[0, 0] < 0:
        vectors[:, 0] *= -1

    def psi4_active(block):
        return np.array([[block[h][i, j] if h == g else 0.0
                          for g, j in active] for h, i in active])

    worst = 0.0
    for (r, s), theirs in dens.items():
        ours = active_density(vectors[:, r], vectors[:, s], dets, nact)
        ref = psi4_active(theirs)
        # detci's matrix may be ours or its transpose: compare both.
        diff = min(np.abs(ours - m).max() for m in (ref, ref.T))
        if r != s and diff > 1e-6:
            vectors[:, s] *= -1
            ours = -ours
            diff = min(np.abs(ours - m).max() for m in (ref, ref.T))
        worst = max(worst, diff)
    assert worst < 1e-8, worst
    return worst


# ------------------------------------------------------------ reference values
def report(density, mo_ops, nuclear):
    """The moments the property program prints, from a density over all MOs
    (frozen and deleted ones included)."""
    elec = electronic(density, mo_ops)
    total = [e + n for e, n in zip(elec, nuclear)]
    values = {}
    names = ['x', 'y', 'z', 'xx', 'xy', 'xz', 'yy', 'yz', 'zz']
    for k, name in enumerate(names):
        values['mu' + name] = (elec[k], nuclear[k], total[k])
    diag = {'xx': 3, 'yy': 6, 'zz': 8}

    def theta(q):
        trace = q[3] + q[6] + q[8]
        return {n: 1.5 * q[k] if n not in diag else (3 * q[k] - trace) * 0.5
                for n, k in zip(names[3:], range(3, 9))}
    th_e, th_n = theta(elec), theta(nuclear)
    for n in names[3:]:
        values['theta' + n] = (th_e[n], th_n[n], th_e[n] + th_n[n])
    values['theta_eff'] = float(np.sqrt(sum(
        (th_e[n] + th_n[n]) ** 2 for n in diag) * TWO_THIRDS))
    values['mu2_electronic'] = sum(e * e for e in elec[:3])
    values['mu2_total'] = sum(t * t for t in total[:3])
    return values


# -------------------------------------------------------------------- writers


def vector_file(energies, vectors):
    out = record(struct.pack('<ii', vectors.shape[0], vectors.shape[1]))
    out += record(struct.pack('<%dd' % len(energies), *energies))
    for r in range(vectors.shape[1]):
        out += record(struct.pack('<%dd' % vectors.shape[0], *vectors[:, r]))
    return out


def packed_component(irrep, so_blocks):
    """OneInt's storage of one component: for a totally symmetric operator
    the lower triangle of each symmetry block, row by row; otherwise, for
    each symmetry s whose partner t = s x irrep is lower, the nb(s) x nb(t)
    rectangle with the functions of s running fastest."""
    values = []
    for s in range(1, NSYM + 1):
        b = so_blocks[s - 1]
        if irrep == 1:
            values += [b[m, n] for m in range(b.shape[0]) for n in range(m + 1)]
        elif mult(s, irrep) < s:
            values += list(b.flatten(order='F'))
    return values


def one_int(title, nbas, overlap, so_ops, nuclear, total_charge):
    """OneInt, version 5: header (title, table of contents, basis counts),
    then the overlap and the nine multipole components, each followed by
    four doubles: the origin of the operator and its nuclear part."""
    header = bytearray(HEADER_BYTES)
    header[12:155] = title.ljust(143)[:143].encode('ascii')
    body = b''

    def place(values, last):
        nonlocal body
        word = (HEADER_BYTES + len(body)) // 8
        body += struct.pack('<%dd' % (len(values) + 4), *values, 0.0, 0.0,
                            0.0, last)
        return word

    itoc = [place(packed_component(1, overlap), total_charge)]
    itoc += [place(packed_component(irrep, b), nuc)
             for (irrep, b), nuc in zip(so_ops, nuclear)]
    itoc += [0] * (14 - len(itoc))
    struct.pack_into('<i', header, 172, itoc[0])
    for k, word in enumerate(itoc):
        struct.pack_into('<i', header, 192 + 20 * k, word)
    struct.pack_into('<i', header, 2716, NSYM)
    struct.pack_into('<8i', header, 2752, *(nbas + [0] * (8 - NSYM)))
    return bytes(header) + body


def tra_one(nbas, kept):
    data = bytearray(512)
    struct.pack_into('<i', data, 264, NSYM)
    struct.pack_into('<8i', data, 268, *(nbas + [0] * (8 - NSYM)))
    struct.pack_into('<8i', data, 300, *(kept + [0] * (8 - NSYM)))
    return bytes(data)


def orbital_file(title, ca):
    """Formatted orbitals: a title line, then for every orbital of every
    symmetry a label line and its coefficients, four E18.12 per line."""
    lines = [title]
    for h, c in enumerate(ca):
        for m in range(c.shape[1]):
            lines.append('* ORBITAL %4d %4d' % (h + 1, m + 1))
            col = c[:, m]
            for k in range(0, len(col), 4):
                lines.append(''.join('%18.11E' % v for v in col[k:k + 4]))
    return '\n'.join(lines) + '\n'


def read_orbital_file(text, nbas):
    lines = iter(text.splitlines()[1:])
    ca = []
    for n in nbas:
        c = np.zeros((n, n))
        for m in range(n):
            next(lines)
            vals = []
            while len(vals) < n:
                line = next(lines)
                vals += [float(line[k:k + 18]) for k in range(0, len(line), 18)]
            c[:, m] = vals
        ca.append(c)
    return ca


def fmt(x):
    return '%.14e' % x


# ------------------------------------------------------------------------ main
def main():
    os.makedirs(CASE, exist_ok=True)
    os.chdir(tempfile.mkdtemp(prefix='prepare_water_'))
    mol, wfn = run_scf()
    nbas = list(wfn.nsopi().to_tuple())
    so_ops, overlap = so_property_integrals(wfn)
    nuclear = nuclear_moments(mol)
    mo_ops = to_mo(wfn, so_ops)
    check_conventions(wfn, mo_ops, nuclear)

    inactive, active, virtual = ci_orbitals(wfn)
    frozen = [(h, i) for h in range(NSYM) for i in range(FROZEN[h])]
    ninac, nact = len(inactive), len(active)
    norb = ninac + nact + len(virtual)
    nocc = ninac + (NELAC + 1) // 2
    itsym = [h + 1 for h, _ in inactive + active + virtual]

    e_core, h_act, g_act = active_hamiltonian(wfn, frozen + inactive, active)
    dets, energies, vectors, all_energies, spins = cas_ci(
        e_core, h_act, g_act, [h + 1 for h, _ in active])
    psi4_energies, dens = detci(wfn)
    energy_diff = max(abs(a - b) for a, b in zip(energies, psi4_energies))
    assert energy_diff < 1e-9, (energies, psi4_energies)
    density_diff = align_with_detci(vectors, dets, active, dens)

    # The CI program's list: the reference first, then by excitation count.
    excitations = [excitation(d, nact, ninac, nocc, norb) for d in dets]
    order = sorted(range(len(dets)),
                   key=lambda k: (len(excitations[k][0]), excitations[k]))
    excitations = [excitations[k] for k in order]
    signs = np.array([slot_parity(h, p, nocc, norb) for h, p in excitations])
    ci_vectors = vectors[order, :] * signs[:, None]

    ca = blocks(wfn.Ca())
    orb_title = '* water cc-pVDZ RHF orbitals from psi4'
    inporb = orbital_file(orb_title, ca)
    coeff_diff = max(np.abs(a - b).max()
                     for a, b in zip(read_orbital_file(inporb, nbas), ca))
    assert coeff_diff < 1e-11

    kept = [nbas[h] - FROZEN[h] - DELETED[h] for h in range(NSYM)]
    files = {
        'input': (namelist('ROFIL', []) +
                  namelist('RHO', ['NDEL=%s,' % ','.join(map(str, DELETED)),
                                   'NGEL=%s,' % ','.join(map(str, FROZEN)),
                                   'NUMERO=1,2,',
                                   'ISX=%d,ISY=%d,ISZ=%d,' % IRREP_OF_XYZ]) +
                  namelist('RHC', ['IPROP=0,MOLCAS=5,']) +
                  namelist('COST', ['MOLCAS=5,'])),
        'vrt': namelist('VRT', [
            'NOAC=%d,' % nact,
            'NUMAC=%s,' % ','.join(str(ninac + 1 + t) for t in range(nact)),
            'NELAC=%d,IS0=%d,MS2=0,' % (NELAC, STATE_IRREP),
            'NDET=%d,' % len(dets), "GENER='CAS ',"]),
        'Info': (namelist('COST_AO', ['NSYM=%d,' % NSYM] + int_cards(
                    'ITS', [mult(a, b) for b in range(1, 9)
                            for a in range(1, 9)], 8)) +
                 namelist('COST_MO', ['NORB=%d,NOC=%d,' % (norb, nocc)] +
                          int_cards('ITSYM', itsym, 20) +
                          ['ENUC=%.12f,YCL=T,' %
                           mol.nuclear_repulsion_energy()])),
        'deta': packed_list(excitations, norb),
        'daveca': vector_file(energies, ci_vectors),
        'INPORB': inporb,
        'OneInt': one_int('water, cc-pVDZ, RHF; SO-basis integrals from psi4',
                          nbas, overlap, so_ops, nuclear,
                          float(sum(mol.Z(a) for a in range(mol.natom())))),
        'TraOne': tra_one(nbas, kept),
    }
    files['detb'] = files['deta']
    files['davecb'] = files['daveca']
    for name, data in files.items():
        mode = 'w' if isinstance(data, str) else 'wb'
        with open(os.path.join(CASE, name), mode) as f:
            f.write(data)

    states = [report(dens[(r, r)], mo_ops, nuclear) for r in range(NROOTS)]
    trans = report(dens[(0, 1)], mo_ops, nuclear)
    deltae = psi4_energies[1] - psi4_energies[0]
    strength = (np.sqrt(trans['mu2_electronic']) * TWO_THIRDS *
                np.sqrt(trans['mu2_electronic']) * deltae)
    write_reference(os.path.join(CASE, 'reference.txt'), psi4_energies,
                    deltae, states, trans, strength)
    print('determinants %d, roots %s (psi4 %s)' % (len(dets), list(energies),
                                                  psi4_energies))
    print('lowest A1 energies and <S^2>:',
          [(round(e, 6), round(s, 6)) for e, s in
           zip(all_energies[:5], spins[:5])])
    print('max |E - E(psi4)| %.2e, max |RO - RO(psi4)| %.2e, '
          'max orbital coefficient rounding %.2e' %
          (energy_diff, density_diff, coeff_diff))
    print(open(os.path.join(CASE, 'reference.txt')).read())
    print('psi4 output:', os.path.abspath('psi4.out'))


def write_reference(path, energies, deltae, states, trans, strength):
    lines = [
        '# Water, cc-pVDZ RHF orbitals, CAS(6,6) CI (1a1 frozen, 2a1',
        '# inactive, 1b2 3a1 1b1 4a1 2b2 3b2 active), the two lowest singlet',
        '# A1 roots.  Values from psi4 1.3.2: detci energies and one-particle',
        '# (transition) densities contracted with psi4 integrals; atomic',
        '# units.  Each moment: electronic, nuclear, total.  The oscillator',
        '# strength is |mu_el| * 2/3 * |mu_el| * deltae, 2/3 in double',
        '# precision as the program uses it.',
        'energy root1 %s' % fmt(energies[0]),
        'energy root2 %s' % fmt(energies[1]),
        'transition deltae %s' % fmt(deltae),
    ]
    for label, values in (('root1', states[0]), ('root2', states[1]),
                          ('transition', trans)):
        for key, val in values.items():
            if isinstance(val, tuple):
                lines.append('%s %s %s' % (label, key,
                                           ' '.join(fmt(v) for v in val)))
            else:
                lines.append('%s %s %s' % (label, key, fmt(val)))
    lines.append('transition oscillator_strength %s' % fmt(strength))
    with open(path, 'w') as f:
        f.write('\n'.join(lines) + '\n')


if __name__ == '__main__':
    main()
