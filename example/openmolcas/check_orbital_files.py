#!/usr/bin/python3
"""Checks the orbital files ciprop writes for the OpenMolcas example with
OpenMolcas itself (Debian package openmolcas, command pymolcas); run by hand:

    apt-get install -y openmolcas
    python3 example/openmolcas/check_orbital_files.py build/ciprop

1. ciprop runs on case/ twice: the state density of the lowest root
   (ciprop.NatOrb) and the transition density between the two roots
   (ciprop.NtoHole, ciprop.NtoParticle).
2. The natural occupations of the lowest root against those RASSCF wrote to
   its own orbital file (case/RasOrb, #OCC): RASSCF's orbitals are the
   natural orbitals of that state.
3. OpenMolcas reads ciprop.NatOrb: GATEWAY and SEWARD on the example's
   molecule, then RASSCF with CIONLY in the same space, once on RASSCF's own
   orbitals (case/RasOrb) and once on ciprop.NatOrb.  The natural orbitals
   only rotate orbitals of one class among themselves, so both give the CAS
   energy (compared at full precision, from the RunFile).
4. GRID_IT reads each of the three files and lists every orbital with its
   occupation or weight.

Prints what it compares and exits non-zero when a check fails.
"""
import gzip
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
from prepare import MOLCAS_INPUT, SPACE  # noqa: E402

CASE = os.path.join(HERE, 'case')


def run_ciprop(exe, work, numero):
    """ciprop on a copy of the case with NUMERO changed; the report."""
    for name in os.listdir(CASE):
        src = os.path.join(CASE, name)
        if name.endswith('.gz'):
            with gzip.open(src, 'rb') as f, \
                    open(os.path.join(work, name[:-3]), 'wb') as g:
                g.write(f.read())
        else:
            shutil.copy(src, work)
    with open(os.path.join(CASE, 'input')) as f:
        text = f.read().replace('NUMERO=1,1,', 'NUMERO=%s,ORBNAT=1,' % numero)
    report = subprocess.run([exe], input=text, cwd=work, capture_output=True,
                            text=True, check=True).stdout
    assert report.rstrip().endswith('FIN'), report[-500:]
    return report


def occupations(path):
    """The #OCC numbers of an #INPORB file, per symmetry."""
    with open(path) as f:
        text = f.read()
    norb = [int(x) for x in text.split('#INFO')[1].splitlines()[4].split()]
    numbers = [float(x) for line in
               text.split('#OCC')[1].split('#')[0].splitlines()
               if not line.startswith('*') for x in line.split()]
    out = []
    for n in norb:
        out.append(numbers[:n])
        numbers = numbers[n:]
    return out


def last_energy(work):
    """The energy of the last module, at full precision: 'Last energy'
    among the dScalar records of the RunFile (header of 128 int64, then
    tables of 1024 labels, addresses and lengths; 512-byte units)."""
    with open(os.path.join(work, 'scratch', 'water', 'water.RunFile'),
              'rb') as f:
        b = f.read()
    hdr = struct.unpack_from('<128q', b, 0)
    labels = [b[512 * hdr[4] + 16 * k:512 * hdr[4] + 16 * k + 16]
              .decode('latin1').strip() for k in range(1024)]
    at = struct.unpack_from('<1024q', b, 512 * hdr[5])
    length = struct.unpack_from('<1024q', b, 512 * hdr[6])
    k = labels.index('dScalar labels')
    names = b[512 * at[k]:512 * at[k] + length[k]].decode('latin1')
    names = [names[i:i + 16].strip() for i in range(0, len(names), 16)]
    k = labels.index('dScalar values')
    values = struct.unpack_from('<%dd' % length[k], b, 512 * at[k])
    return values[names.index('Last energy')]


def pymolcas(work, text):
    """Runs an OpenMolcas input in work; its log."""
    with open(os.path.join(work, 'water.input'), 'w') as f:
        f.write(text)
    env = dict(os.environ, MOLCAS_PROJECT='water',
               MOLCAS_WORKDIR=os.path.join(work, 'scratch'),
               MOLCAS_NEW_WORKDIR='NO', MOLCAS_KEEP_WORKDIR='YES',
               MOLCAS_MEM='1000', OMP_NUM_THREADS='1')
    os.makedirs(env['MOLCAS_WORKDIR'], exist_ok=True)
    subprocess.run(['pymolcas', '-f', 'water.input', '-b', '1'], cwd=work,
                   env=env, stdout=subprocess.DEVNULL)
    with open(os.path.join(work, 'water.log')) as f:
        return f.read()


def main():
    exe = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else 'build/ciprop')
    work = tempfile.mkdtemp(prefix='ciprop_orbital_files_')
    failed = []

    state, transition = (os.path.join(work, d) for d in ('state', 'transition'))
    for folder, numero in ((state, '1,1'), (transition, '1,2')):
        os.makedirs(folder)
        report = run_ciprop(exe, folder, numero)
        print(report[report.rindex('*' * 45):].rstrip())

    ours = occupations(os.path.join(state, 'ciprop.NatOrb'))
    theirs = occupations(os.path.join(CASE, 'RasOrb'))
    worst = max(abs(a - b) for s, t in zip(ours, theirs) for a, b in zip(s, t))
    print('natural occupations of root 1 against RASSCF #OCC: largest '
          'difference %.2e' % worst)
    if worst > 1e-9:
        failed.append('occupations')

    files = {'natorb': 'state/ciprop.NatOrb',
             'hole': 'transition/ciprop.NtoHole',
             'particle': 'transition/ciprop.NtoParticle'}
    shutil.copy(os.path.join(CASE, 'RasOrb'), work)
    gateway = MOLCAS_INPUT[:MOLCAS_INPUT.index('&SCF')]

    def cionly(orbitals):
        return ('&RASSCF\n  LumOrb\n  FileOrb = $CurrDir/%s\n%s  CIONLY\n'
                % (orbitals, SPACE))
    energies = []
    for first, orbitals in ((True, 'RasOrb'), (False, files['natorb'])):
        grids = '' if first else ''.join(
            '&GRID_IT\n  FILEORB = $CurrDir/%s\n  NAME = %s\n  NOLUSCUS\n'
            '  ASCII\n  ALL\n' % (path, name) for name, path in files.items())
        log = pymolcas(work, (gateway if first else '') + cionly(orbitals) +
                       grids)
        modules = log.count('rc=_RC_ALL_IS_WELL_')
        wanted = 3 if first else 1 + len(files)
        print('OpenMolcas on %s: %d of %d modules ended well' %
              (orbitals, modules, wanted))
        if modules != wanted:
            failed.append('OpenMolcas on ' + orbitals)
        energies.append(last_energy(work))
    print('OpenMolcas log:', os.path.join(work, 'water.log'))
    print('RASSCF CIONLY: on RasOrb %.12f, on ciprop.NatOrb %.12f, '
          'difference %.1e' % (energies[0], energies[1],
                               energies[1] - energies[0]))
    if not abs(energies[1] - energies[0]) < 1e-10:
        failed.append('CIONLY energy')

    for name in files:
        grid = os.path.join(work, 'scratch', 'water', 'water.%s.grid' % name)
        listed = re.findall(r'GridName=\s+\d+\s+\d+.*', open(grid).read()) \
            if os.path.exists(grid) else []
        # GRID_IT lists the orbitals by occupation, the largest last.
        print('GRID_IT %s: %d orbitals on the grid, the last three: %s' %
              (name, len(listed), ' | '.join(x.strip() for x in listed[-3:])))
        if len(listed) != 24:
            failed.append('GRID_IT ' + name)

    if failed:
        print('FAILED:', ', '.join(failed))
        sys.exit(1)
    print('all checks passed')


if __name__ == '__main__':
    main()
