"""Main example: the canonical site numbering of a small rectangular lattice."""

import vendrel_quantum as vq


def main() -> None:
    print(f"vendrel_quantum {vq.__version__}")
    lx, ly = 4, 3
    ids = vq.row_major_site_ids(lx, ly)
    print(f"row-major site identifiers of a {lx} x {ly} lattice (row y, column x):")
    for y, row in enumerate(ids):
        print(f"  y={y}: " + " ".join(f"{site:2d}" for site in row))


if __name__ == "__main__":
    main()
